// The record of a run, and the rehearsal that changes nothing. Every
// subsystem reports what it does through these plain functions (no system
// headers), so the text-processing actions can report as well. Nothing is
// recorded unless the run has a log (/log PATH, or /plan).
#pragma once
#include <cstddef>

// Whether events are recorded: callers skip gathering what only an event
// would show (an old value, a file's version) when they are not.
bool RunLogActive();

// Records one event, one line: the local time with milliseconds, the
// keyword in capitals, then the fields, formatted like printf from texts in
// the ANSI code page. Line breaks and tabs inside the fields are written as
// \n, \r and \t, so an event always stays one line. The line is handed to
// the system before the call returns.
void LogEvent(const char* keyword, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// An event of a change, formatted like LogEvent's fields. In a rehearsal
// the keyword becomes "PLAN <keyword>", and a prediction that depends on an
// earlier line ends with the remark that says so. A change that failed (or
// would fail) is followed by ": failed: <failure>" (": would fail: ...").
// The next event's dependence starts afresh (PlanBeginEvent).
void LogChange(const char* keyword, const char* failure, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// A rehearsal (/plan): no file, directory, INI entry or registry value is
// changed and no program started; each action reports what it would do.
bool RunIsRehearsal();

// An event could not be written whole (a full volume, a broken share): the
// log was cut back to its last whole line and takes no more events.
bool RunLogIncomplete();

// The system's text for an error code, one line, into buffer (capacity
// bytes); "error N" when the system has none.
const char* SystemReason(unsigned long code, char* buffer, size_t capacity);

// --- set up by the program's start ---------------------------------------

// Creates the log at path. An existing file is replaced only when it is
// empty or an earlier log of Setup (its first line a START line); any other
// file, the script, Setup.exe and a path through a link are refused with
// ERROR_FILE_EXISTS. False with the system's error code.
bool OpenRunLog(const char* path, unsigned long* errorCode);
// Closes the log; later events are not recorded.
void CloseRunLog();
void SetRunRehearsal(bool rehearsal);
