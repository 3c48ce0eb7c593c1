// Base for tests of code that links the support library: every test starts
// with the state of a freshly loaded library image.
#ifndef ZOLTEST_SUPPORT_STATE_H
#define ZOLTEST_SUPPORT_STATE_H

#include <gtest/gtest.h>

#include "share/native/zol_tools_testing.h"

namespace zoltest {

class FreshSupportState : public ::testing::Test {
 protected:
  void SetUp() override {
    zol_testing_set_verbose_mode(0);
    zol_testing_set_trace_mask(0);
    zol_testing_set_complaint_count(0);
  }
  void TearDown() override { SetUp(); }
};

// The four lines of a library image's first complaint, made at base:line with
// a message whose first line is first_line (newline included).
inline std::string first_complaint(const std::string& base, int line, const std::string& first_line,
                                   const std::string& message) {
  return "The following fake exception stacktrace is for failuire analysis. \n"
         "zol.share.Fake_Exception_for_RULE_Creation: (" +
         base + ":" + std::to_string(line) + ") " + first_line +
         "\tat zol_lvcomplain(zol_tools.cpp:172)\n"
         "# ERROR: " +
         base + ", " + std::to_string(line) + ": " + message;
}

}  // namespace zoltest

#endif  // ZOLTEST_SUPPORT_STATE_H
