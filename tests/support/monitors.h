// Monitors as the JVM keeps them, for the natives that enter and exit them
// (Quorvell, Nordevik, mirabont): MonitorEnter and MonitorExit log "+name" /
// "-name" and fail (with an optional pending exception) where a test says.
#ifndef ZOLTEST_MONITORS_H
#define ZOLTEST_MONITORS_H

#include <map>
#include <string>
#include <vector>

#include "fake_jni.h"

namespace zoltest {

struct Monitors {
  FakeJni& fake;
  std::map<jobject, std::string> names;
  std::vector<std::string> log;
  std::map<std::string, jint> enter_result, exit_result;
  std::map<std::string, std::string> enter_raises, exit_raises;

  explicit Monitors(FakeJni& f) : fake(f) {
    FAKE_JNI_ON(fake, MonitorEnter, [this](jobject lock) { return op("+", lock, enter_result, enter_raises); });
    FAKE_JNI_ON(fake, MonitorExit, [this](jobject lock) { return op("-", lock, exit_result, exit_raises); });
  }
  jint op(const char* sign, jobject lock, std::map<std::string, jint>& results,
          std::map<std::string, std::string>& raises) {
    const std::string name = names.count(lock) ? names[lock] : "?";
    log.push_back(sign + name);
    if (raises.count(name)) fake.raise(raises[name]);
    return results.count(name) ? results[name] : 0;
  }
};

}  // namespace zoltest

#endif  // ZOLTEST_MONITORS_H
