// The values setupcheck lets stand for what only a real installation has.
// Short stand-ins are marker texts as short as a real value can be; the
// longest ones are as long as Setup lets such a value be.
#pragma once

// Which of the two sets the system stand-ins (stand_ins.cpp) give.
extern bool checkLongestValues;

// Markers: absolute like a real directory, and never in a real path.
const char kPackageMarker[] = "\x01:\\";      // {src}
const char kInstallMarker[] = "\x02:\\";      // {des}
const char kProgramMarker[] = "\x03:\\";      // {exe}
const char kFolderMarker[] = "\x04:";         // shell folders (Setup appends '\')
const char kTempMarker[] = "\x05:\\";         // $TEMP$
const char kDefinitionMarker[] = "\x06:";     // {ini=...} and {reg=...} values
const int kLongestPath = 260;                 // the longest directory Setup holds
