#include "script/script_reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A stream holding exactly `bytes`, positioned at its start.
FILE* StreamOf(const std::string& bytes) {
  FILE* stream = std::tmpfile();
  if (!stream) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::rewind(stream);
  return stream;
}

// Every line the way the executor reads them, empty ones included.
std::vector<std::string> ReadAll(FILE* stream) {
  std::vector<std::string> lines;
  char buffer[kLineBufferSize];
  while (!ScriptEnded(stream)) {
    int count = ReadScriptLine(stream, buffer, kMaxLineLength);
    EXPECT_EQ(static_cast<size_t>(count), std::string(buffer).size());
    lines.push_back(buffer);
  }
  return lines;
}

std::vector<std::string> LinesOf(const std::string& bytes) {
  FILE* stream = StreamOf(bytes);
  EXPECT_NE(stream, nullptr);
  if (!stream) return {};
  std::vector<std::string> lines = ReadAll(stream);
  std::fclose(stream);
  return lines;
}

std::string NextLine(FILE* stream) {
  char buffer[kLineBufferSize];
  ReadScriptLine(stream, buffer, kMaxLineLength);
  return buffer;
}

}  // namespace

TEST(ReadScriptLine, CrLfAndCrOnlyReadAlike) {
  std::vector<std::string> expected = {"[Copy]", "a.dll", "", "inner  blanks ", "last"};
  EXPECT_EQ(LinesOf("[Copy]\r\na.dll\r\n\r\n  \t  inner  blanks \r\nlast"), expected);
  EXPECT_EQ(LinesOf("[Copy]\ra.dll\r\r  \t  inner  blanks \rlast"), expected);
}

TEST(ReadScriptLine, LineEndAtEndOfFileGivesFinalEmptyRead) {
  EXPECT_EQ(LinesOf("a\r\nb\r\n"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(LinesOf(""), (std::vector<std::string>{""}));
}

TEST(ReadScriptLine, LfOnlyFileIsOneLineUpToTheBound) {
  std::string script;
  for (int i = 0; i < 400; ++i) script += "line" + std::to_string(i) + "\n";
  std::vector<std::string> lines = LinesOf(script);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), static_cast<size_t>(kMaxLineLength));
  EXPECT_EQ(lines[0].compare(0, 10, "line0line1"), 0);
  EXPECT_EQ(lines[0].find('\n'), std::string::npos);
}

TEST(ReadScriptLine, BlankOnlyLinesReadEmpty) {
  EXPECT_EQ(LinesOf(" \t \t\r\nx\r\n"), (std::vector<std::string>{"", "x", ""}));
}

TEST(ReadScriptLine, OverlongLineKeepsBoundAndDropsTail) {
  std::string longLine(kMaxLineLength, 'a');
  longLine += "TAIL-THAT-MUST-NOT-RETURN";
  std::vector<std::string> lines = LinesOf(longLine + "\r\nnext\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], std::string(kMaxLineLength, 'a'));
  EXPECT_EQ(lines[1], "next");

  // Exactly at the bound the line is whole and the next one untouched.
  lines = LinesOf(std::string(kMaxLineLength, 'b') + "\r\nnext");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), static_cast<size_t>(kMaxLineLength));
  EXPECT_EQ(lines[1], "next");

  // An overlong last line without a line end.
  lines = LinesOf(std::string(kMaxLineLength + 50, 'c'));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), static_cast<size_t>(kMaxLineLength));
}

TEST(ReadScriptLine, DroppedBytesAtTheBoundDoNotCutTheLine) {
  // A line of exactly the bound whose line end is preceded by LF or NUL
  // bytes is whole; one more character makes it cut.
  struct Case {
    std::string after;
    bool cut;
  } cases[] = {{"\n", false}, {std::string(1, '\0'), false}, {std::string("\n\0\n", 3), false},
               {"\ne", true}};
  for (const Case& c : cases) {
    FILE* stream = StreamOf(std::string(kMaxLineLength, 'd') + c.after + "\r\nnext");
    ASSERT_NE(stream, nullptr);
    char buffer[kLineBufferSize];
    bool cut = !c.cut;
    EXPECT_EQ(ReadScriptLine(stream, buffer, kMaxLineLength, &cut), kMaxLineLength);
    EXPECT_EQ(cut, c.cut);
    EXPECT_EQ(NextLine(stream), "next");
    std::fclose(stream);
  }
}

TEST(ReadScriptLine, SmallBoundAndLeadingBlanksNotCounted) {
  FILE* stream = StreamOf("   abcdef\r\nxy");
  ASSERT_NE(stream, nullptr);
  char buffer[4];
  EXPECT_EQ(ReadScriptLine(stream, buffer, 3), 3);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(ReadScriptLine(stream, buffer, 3), 2);
  EXPECT_STREQ(buffer, "xy");
  EXPECT_TRUE(ScriptEnded(stream));
  std::fclose(stream);
}

TEST(ReadScriptLine, BytesAreNotTranslated) {
  // A byte-order mark and Windows-1250 letters come through unchanged.
  std::vector<std::string> lines = LinesOf("\xEF\xBB\xBF[Copy]\r\n\x9A\xE8\xF8\r\n");
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "\xEF\xBB\xBF[Copy]");
  EXPECT_EQ(lines[1], "\x9A\xE8\xF8");
}

TEST(ReadScriptLine, NulBytesAreDropped) {
  // The count must describe the text callers see.
  EXPECT_EQ(LinesOf(std::string("a\0b\r\n\0\0\r\n\0 c", 12)),
            (std::vector<std::string>{"ab", "", "c"}));
}

TEST(ReadScriptLine, NoStreamOrReadErrorEndsReading) {
  char buffer[kLineBufferSize] = "junk";
  EXPECT_EQ(ReadScriptLine(nullptr, buffer, kMaxLineLength), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(ScriptEnded(nullptr));

  // A stream opened for writing only fails on reading.
  FILE* stream = std::fopen("/dev/null", "w");
  ASSERT_NE(stream, nullptr);
  std::strcpy(buffer, "junk");
  EXPECT_EQ(ReadScriptLine(stream, buffer, kMaxLineLength), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(ScriptEnded(stream));
  std::fclose(stream);
}

TEST(SameText, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(SameText("[copy]", "[COPY]"));
  EXPECT_TRUE(SameText("", ""));
  EXPECT_FALSE(SameText("[Copy]", "[Copy] "));
  EXPECT_FALSE(SameText("[Copy", "[Copy]"));
  EXPECT_FALSE(SameText("a", ""));
  // Accented letters of Windows-1250 compare exactly: e-caron vs E-caron.
  EXPECT_FALSE(SameText("\xEC", "\xCC"));
  EXPECT_TRUE(SameText("\xEC", "\xEC"));
  // '@' and '`' sit next to the letters; they must not fold.
  EXPECT_FALSE(SameText("@", "`"));
  EXPECT_FALSE(SameText("[", "{"));
  EXPECT_FALSE(SameText(nullptr, "a"));
}

TEST(IndexOfChar, FindsFromStartNeverTheNul) {
  EXPECT_EQ(IndexOfChar("a=b", '=', 0), 1);
  EXPECT_EQ(IndexOfChar("a=b=c", '=', 2), 3);
  EXPECT_EQ(IndexOfChar("a=b", '=', 1), 1);
  EXPECT_EQ(IndexOfChar("a=b", '=', 50), -1);
  EXPECT_EQ(IndexOfChar("", 'x', 0), -1);
  EXPECT_EQ(IndexOfChar("abc", '\0', 0), -1);
  EXPECT_EQ(IndexOfChar("abc", 'q', 0), -1);
}

TEST(ActionOfHeader, MapsSectionNames) {
  EXPECT_EQ(ActionOfHeader("[Copy]"), kActionCopy);
  EXPECT_EQ(ActionOfHeader("[COPY]"), kActionCopy);
  EXPECT_EQ(ActionOfHeader("[copy]"), kActionCopy);
  EXPECT_EQ(ActionOfHeader("[Copy] "), kActionNone);
  EXPECT_EQ(ActionOfHeader("[Copy];x"), kActionNone);
  EXPECT_EQ(ActionOfHeader("[Options]"), kActionNone);
  EXPECT_EQ(ActionOfHeader("[Run]"), kActionRun);
  EXPECT_EQ(ActionOfHeader("[Delete]"), kActionDelete);
  EXPECT_EQ(ActionOfHeader("[WriteIni]"), kActionWriteIni);
  EXPECT_EQ(ActionOfHeader("[DelIni]"), kActionDelIni);
  EXPECT_EQ(ActionOfHeader("[WriteReg]"), kActionWriteReg);
  EXPECT_EQ(ActionOfHeader("[DelReg]"), kActionDelReg);
  EXPECT_EQ(ActionOfHeader("[ChangeDir]"), kActionChangeDir);
  EXPECT_EQ(ActionOfHeader("[VersionCopy]"), kActionVersionCopy);
  EXPECT_EQ(ActionOfHeader("[Move]"), kActionMove);
  EXPECT_EQ(SectionNames[kActionCount], nullptr);
}

TEST(ReadScriptLine, IndentedHeaderStillSelectsItsSection) {
  std::vector<std::string> lines = LinesOf("  [Copy]\r\n[Copy] \r\n");
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(ActionOfHeader(lines[0].c_str()), kActionCopy);
  EXPECT_EQ(ActionOfHeader(lines[1].c_str()), kActionNone);
}

namespace {

const char kOptionsScript[] =
    "[Options]\r\n"
    "MsgTitle=Update\r\n"
    "  nodir=1\r\n"
    "NoDir = 1\r\n"
    ";SkipInfo=1\r\n"
    "SkipWelcome=1 \r\n"
    "[Copy]\r\n"
    "KillQuillon=1\r\n"
    "[Options]\r\n"
    "SkipInfo=1\r\n";

bool Find(const char* script, const char* header, const char* line) {
  FILE* stream = StreamOf(script);
  EXPECT_NE(stream, nullptr);
  if (!stream) return false;
  bool found = FindScriptLine(stream, header, line);
  std::fclose(stream);
  return found;
}

}  // namespace

TEST(FindScriptLine, MatchesWholeLinesOfTheFirstSectionOnly) {
  EXPECT_TRUE(Find(kOptionsScript, "[Options]", "NoDir=1"));       // indented, lower case
  EXPECT_TRUE(Find(kOptionsScript, "[options]", "MSGTITLE=UPDATE"));
  EXPECT_FALSE(Find(kOptionsScript, "[Options]", "SkipWelcome=1"));  // trailing blank
  EXPECT_FALSE(Find(kOptionsScript, "[Options]", "KillQuillon=1"));  // other section
  EXPECT_FALSE(Find(kOptionsScript, "[Options]", "SkipInfo=1"));     // second [Options]
  EXPECT_TRUE(Find(kOptionsScript, "[Copy]", "KillQuillon=1"));
  EXPECT_FALSE(Find(kOptionsScript, "[Missing]", "NoDir=1"));
  // The header that ends the section is itself compared.
  EXPECT_TRUE(Find(kOptionsScript, "[Copy]", "[Options]"));
  // The last line needs no line end.
  EXPECT_TRUE(Find("[Options]\r\nNoDir=1", "[Options]", "NoDir=1"));
  EXPECT_FALSE(Find("", "[Options]", "NoDir=1"));
  EXPECT_FALSE(FindScriptLine(nullptr, "[Options]", "NoDir=1"));
}

TEST(FindScriptLine, LeavesTheReadPositionUnchanged) {
  FILE* stream = StreamOf(kOptionsScript);
  ASSERT_NE(stream, nullptr);
  std::vector<std::string> expected = LinesOf(kOptionsScript);
  std::vector<std::string> seen;
  char buffer[kLineBufferSize];
  while (!ScriptEnded(stream)) {
    // Mixed hits and misses at every position, the end included.
    FindScriptLine(stream, "[Options]", "NoDir=1");
    FindScriptLine(stream, "[Options]", "absent");
    ReadScriptLine(stream, buffer, kMaxLineLength);
    seen.push_back(buffer);
  }
  EXPECT_EQ(seen, expected);
  // At the end the stream stays ended for the caller's loop test.
  EXPECT_TRUE(FindScriptLine(stream, "[Copy]", "KillQuillon=1"));
  EXPECT_TRUE(ScriptEnded(stream));
  EXPECT_EQ(ReadScriptLine(stream, buffer, kMaxLineLength), 0);
  std::fclose(stream);
}

TEST(FindScriptLine, KeepsPositionInsideCrLfPair) {
  // After a CR the LF is still unread; the next line must not change.
  FILE* stream = StreamOf("[Options]\r\n\r\nNoDir=1\r\nnext\r\n");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(NextLine(stream), "[Options]");
  EXPECT_EQ(NextLine(stream), "");
  EXPECT_TRUE(FindScriptLine(stream, "[Options]", "NoDir=1"));
  EXPECT_EQ(NextLine(stream), "NoDir=1");
  EXPECT_TRUE(FindScriptLine(stream, "[Options]", "NoDir=1"));
  EXPECT_EQ(NextLine(stream), "next");
  std::fclose(stream);
}

TEST(FindScriptLine, FailedStreamFindsNothingAndStaysFailed) {
  // A stream that holds the line but has failed (a write to a stream open
  // for reading): finished for every reader, its failure kept for the caller.
  char path[] = "/tmp/setup-script-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  FILE* writer = std::fopen(path, "wb");
  ASSERT_NE(writer, nullptr);
  std::fputs(kOptionsScript, writer);
  std::fclose(writer);
  FILE* stream = std::fopen(path, "rb");
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(std::fputc('x', stream), EOF);
  ASSERT_NE(std::ferror(stream), 0);
  EXPECT_FALSE(FindScriptLine(stream, "[Options]", "NoDir=1"));
  EXPECT_NE(std::ferror(stream), 0);
  EXPECT_TRUE(ScriptEnded(stream));
  std::fclose(stream);
  std::remove(path);
}

TEST(FindScriptLine, TextAddedAfterTheEndIsNotEaten) {
  // The caller read to the end; then the file grew behind its back.
  const std::string script = "[Options]\r\nNoDir=1\r\n";
  FILE* stream = StreamOf(script);
  ASSERT_NE(stream, nullptr);
  while (!ScriptEnded(stream)) NextLine(stream);
  ASSERT_EQ(pwrite(fileno(stream), "added\r\n", 7, static_cast<off_t>(script.size())), 7);
  EXPECT_TRUE(FindScriptLine(stream, "[Options]", "NoDir=1"));
  EXPECT_EQ(NextLine(stream), "added");
  std::fclose(stream);
}
