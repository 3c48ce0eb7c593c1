// Exact output of the message and complaint channel.

#include "share/native/zol_tools.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "capture.h"
#include "support_state.h"

namespace {

using zoltest::capture;
using zoltest::first_complaint;

const char kNotice[] =
    "# ...\n"
    "# ERROR: too many complains, giving up to save disk space (CR 6341460)\n"
    "# Please rerun the test with -verbose option to listen to the entire song\n";

class ZolTools : public zoltest::FreshSupportState {};

std::string complain(const char* file, int line, const char* message) {
  return capture([&] { zol_lcomplain(file, line, "%s", message); }).out;
}

TEST_F(ZolTools, FirstComplaintCarriesTheFakeTraceLaterOnesDoNot) {
  EXPECT_EQ(capture([] { zol_lcomplain("/work/src/x/caller.cpp", 42, "bad %d\n", 7); }).out,
            first_complaint("caller.cpp", 42, "bad 7\n", "bad 7\n"));
  EXPECT_EQ(complain("/work/src/x/caller.cpp", 43, "again\n"), "# ERROR: caller.cpp, 43: again\n");
  EXPECT_EQ(zol_testing_complaint_count(), 2);
}

TEST_F(ZolTools, FakeTraceKeepsTheFirstLineOrReplacesTheLastCharacter) {
  // Three letters, no newline: the trace line loses the last letter, and the
  // heading line is left open for whatever prints next.
  EXPECT_EQ(complain("a.cpp", 1, "abc"), first_complaint("a.cpp", 1, "ab\n", "abc"));
  zol_testing_set_complaint_count(0);
  EXPECT_EQ(complain("a.cpp", 2, "one\ntwo\n"), first_complaint("a.cpp", 2, "one\n", "one\ntwo\n"));
  zol_testing_set_complaint_count(0);
  // Empty: the self-location follows the location piece on the same line.
  EXPECT_EQ(complain("a.cpp", 3, ""),
            "The following fake exception stacktrace is for failuire analysis. \n"
            "zol.share.Fake_Exception_for_RULE_Creation: (a.cpp:3) \tat zol_lvcomplain(zol_tools.cpp:172)\n"
            "# ERROR: a.cpp, 3: ");
}

TEST_F(ZolTools, LongMessageIsCutTo1023Characters) {
  const std::string message(2000, 'm');
  EXPECT_EQ(complain("a.cpp", 9, message.c_str()),
            first_complaint("a.cpp", 9, std::string(1022, 'm') + "\n", std::string(1023, 'm')));
  // A newline past the cut no longer counts.
  zol_testing_set_complaint_count(0);
  const std::string late_newline = std::string(1030, 'n') + "\n";
  EXPECT_EQ(complain("a.cpp", 9, late_newline.c_str()),
            first_complaint("a.cpp", 9, std::string(1022, 'n') + "\n", std::string(1023, 'n')));
}

TEST_F(ZolTools, MessageIsTextNotAFormat) {
  zol_testing_set_complaint_count(1);
  EXPECT_EQ(complain("a.cpp", 5, "100%d %s %n\n"), "# ERROR: a.cpp, 5: 100%d %s %n\n");
}

TEST_F(ZolTools, NullFileOmitsTheLocation) {
  EXPECT_EQ(complain(nullptr, 5, "m\n"),
            "The following fake exception stacktrace is for failuire analysis. \n"
            "zol.share.Fake_Exception_for_RULE_Creation: m\n"
            "\tat zol_lvcomplain(zol_tools.cpp:172)\n"
            "# ERROR: m\n");
}

TEST_F(ZolTools, BaseNameTakesTheTextAfterTheLastSlashOrBackslash) {
  zol_testing_set_complaint_count(1);
  EXPECT_EQ(complain("c:/dir/sub\\win.cpp", 1, "x\n"), "# ERROR: win.cpp, 1: x\n");
  EXPECT_EQ(complain("dir\\sub/unix.cpp", 1, "x\n"), "# ERROR: unix.cpp, 1: x\n");
  EXPECT_EQ(complain("plain.cpp", 1, "x\n"), "# ERROR: plain.cpp, 1: x\n");
  EXPECT_EQ(complain("dir/", 1, "x\n"), "# ERROR: , 1: x\n");
  EXPECT_EQ(complain("dir\\", 1, "x\n"), "# ERROR: , 1: x\n");
}

TEST_F(ZolTools, The665thComplaintIsTheNoticeAndLaterOnesAreSilent) {
  std::string out = capture([] {
                      for (int i = 0; i < 700; ++i) zol_lcomplain("f.cpp", i, "c\n");
                    }).out;
  EXPECT_EQ(zol_testing_complaint_count(), 700);
  size_t headings = 0;
  for (size_t at = out.find("# ERROR: f.cpp"); at != std::string::npos; at = out.find("# ERROR: f.cpp", at + 1)) {
    ++headings;
  }
  EXPECT_EQ(headings, 664u);
  // The last heading is the 664th complaint's (line 663), then the notice ends the log.
  const std::string tail = "# ERROR: f.cpp, 663: c\n" + std::string(kNotice);
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(ZolTools, LimitBoundaryOneByOne) {
  zol_testing_set_complaint_count(663);
  EXPECT_EQ(complain("f.cpp", 1, "c\n"), "# ERROR: f.cpp, 1: c\n");
  EXPECT_EQ(complain("f.cpp", 2, "c\n"), kNotice);
  EXPECT_EQ(complain("f.cpp", 3, "c\n"), "");
  EXPECT_EQ(zol_testing_complaint_count(), 666);

  // The count stops at INT_MAX: it never wraps back to numbers that print or
  // to the fake trace's 1.
  zol_testing_set_complaint_count(INT_MAX - 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(complain("f.cpp", 4, "c\n"), "");
  EXPECT_EQ(zol_testing_complaint_count(), INT_MAX);
}

TEST_F(ZolTools, VerboseModeLiftsTheLimitButNotTheOnceOnlyTrace) {
  zol_testing_set_verbose_mode(1);
  EXPECT_EQ(complain("f.cpp", 1, "first\n"), first_complaint("f.cpp", 1, "first\n", "first\n"));
  zol_testing_set_complaint_count(664);
  EXPECT_EQ(complain("f.cpp", 2, "c\n"), "# ERROR: f.cpp, 2: c\n");
  EXPECT_EQ(complain("f.cpp", 3, "c\n"), "# ERROR: f.cpp, 3: c\n");
}

TEST_F(ZolTools, TraceLinesFollowTheMask) {
  auto trace = [](int mode) {
    return capture([mode] { zol_ltrace(mode, "/src/dir/t.cpp", 7, "%s\n", "call()"); }).out;
  };
  EXPECT_EQ(trace(ZOL_TRACE_CALL), "");
  EXPECT_EQ(trace(ZOL_TRACE_RETURN), "");
  zol_testing_set_trace_mask(1);
  EXPECT_EQ(trace(ZOL_TRACE_CALL), "- t.cpp, 7: >> call()\n");
  EXPECT_EQ(trace(ZOL_TRACE_RETURN), "");
  EXPECT_EQ(trace(3), "- t.cpp, 7: .. call()\n");
  zol_testing_set_trace_mask(2);
  EXPECT_EQ(trace(ZOL_TRACE_RETURN), "- t.cpp, 7: << call()\n");
  EXPECT_EQ(trace(6), "- t.cpp, 7: .. call()\n");
  EXPECT_EQ(zol_testing_complaint_count(), 0);
}

TEST_F(ZolTools, PrintReturnsTheCountAndFlushes) {
  int x = 0;
  EXPECT_EQ(capture([&] { x = zol_printf("%d-%s", 12, "ab"); }).out, "12-ab");
  EXPECT_EQ(x, 5);
}

TEST_F(ZolTools, FailedFlushIsReportedOnBothStreams) {
  int x = 0;
  const zoltest::Output output = zoltest::with_stdout_full([&] { x = zol_printf("hello"); });
  EXPECT_EQ(x, 5);
  const std::string report = "fflush failed - err=-1 errno=" + std::to_string(zoltest::kFullStdoutErrno) + " x=5\n";
  EXPECT_EQ(output.err, "stderr: " + report);
  // glibc keeps what a failed flush could not write; Windows' C runtime drops it.
#ifndef _WIN32
  EXPECT_NE(output.out.find("stdout: " + report), std::string::npos) << output.out;
#endif
}

}  // namespace
