// A JNIEnv on a fresh function table, for driving natives through paths that a
// real JVM does not produce. Every function traps (the test fails, naming the
// slot) until a test hooks it; exceptions, ThrowNew and FatalError have a small
// built-in model that tests may replace.
//
//   zoltest::FakeJni fake;
//   FAKE_JNI_ON(fake, GetObjectClass, [&](jobject) { return fake.klass("A"); });
//   Java_..._native(fake.env(), fake.handle());
//   EXPECT_EQ(fake.calls(), (std::vector<std::string>{"GetObjectClass", ...}));
#ifndef ZOLTEST_FAKE_JNI_H
#define ZOLTEST_FAKE_JNI_H

#include <jni.h>

#include <cstdarg>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zoltest {

class FakeJni;

namespace detail {

// Per function-pointer type: the hook's type and a thunk that forwards a call
// in slot Slot to the hook installed there.
template <typename Fn>
struct JniFunction;

template <typename R, typename... A>
struct JniFunction<R (*)(JNIEnv*, A...)> {
  using Hook = std::function<R(A...)>;
  template <auto Slot>
  static R thunk(JNIEnv* env, A... args);
};

// Call<Type>Method, CallStatic<Type>Method, NewObject: the hook gets the
// fixed arguments and the va_list.
template <typename R, typename X>
struct JniFunction<R (*)(JNIEnv*, X, jmethodID, ...)> {
  using Hook = std::function<R(X, jmethodID, va_list)>;
  template <auto Slot>
  static R thunk(JNIEnv* env, X x, jmethodID method, ...);
};

// CallNonvirtual<Type>Method.
template <typename R, typename X, typename Y>
struct JniFunction<R (*)(JNIEnv*, X, Y, jmethodID, ...)> {
  using Hook = std::function<R(X, Y, jmethodID, va_list)>;
  template <auto Slot>
  static R thunk(JNIEnv* env, X x, Y y, jmethodID method, ...);
};

template <auto Slot>
using SlotFunction = JniFunction<std::remove_reference_t<decltype(std::declval<JNINativeInterface_&>().*Slot)>>;

template <auto Slot>
size_t slot_index() {
  const JNINativeInterface_ probe{};
  return static_cast<size_t>(reinterpret_cast<const char*>(&(probe.*Slot)) - reinterpret_cast<const char*>(&probe)) /
         sizeof(void*);
}

}  // namespace detail

class FakeJni {
 public:
  FakeJni();
  ~FakeJni();
  FakeJni(const FakeJni&) = delete;
  FakeJni& operator=(const FakeJni&) = delete;

  JNIEnv* env() { return &box_.env; }
  static FakeJni* from(JNIEnv* env);

  // Installs hook for the JNI function in Slot (use FAKE_JNI_ON). The hook
  // takes the function's arguments after the JNIEnv*.
  template <auto Slot, typename Hook>
  void on(const char* name, Hook hook) {
    using Function = detail::SlotFunction<Slot>;
    const size_t index = detail::slot_index<Slot>();
    hooks_[index] = std::make_shared<typename Function::Hook>(std::move(hook));
    names_[index] = name;
    table_.*Slot = &Function::template thunk<Slot>;
  }

  // Names of the JNI functions called so far, in order; a call of a function
  // no hook was installed for is recorded as "slot#N" and fails the test.
  const std::vector<std::string>& calls() const { return calls_; }
  void clear_calls() { calls_.clear(); }
  size_t count(const std::string& name) const;

  // A fresh non-null reference, distinct from every other this fake made.
  template <typename T = jobject>
  T handle() {
    return reinterpret_cast<T>(next_handle());
  }

  // The class reference for name, the same one each time.
  jclass klass(const std::string& name);
  // The name given to klass() for ref, or "" for another reference.
  std::string class_name(jobject ref) const;

  // Makes a new throwable pending; ExceptionDescribe prints description.
  jthrowable raise(const std::string& description);
  jthrowable pending() const { return pending_; }
  std::string description(jthrowable throwable) const;

  // Hook plumbing for the thunks.
  void record(size_t index);
  void* hook(size_t index);

 private:
  template <size_t... I>
  void fill_traps(std::index_sequence<I...>);
  template <size_t I>
  static void* trap(JNIEnv* env);
  void* next_handle();
  void install_exception_model();

  // The env must come first so that the JNIEnv* a native receives leads back
  // to its fake.
  struct Box {
    JNIEnv_ env;
    FakeJni* owner;
  } box_;
  JNINativeInterface_ table_{};
  std::map<size_t, std::shared_ptr<void>> hooks_;
  std::map<size_t, std::string> names_;
  std::vector<std::string> calls_;
  std::map<std::string, jclass> classes_;
  std::map<jobject, std::string> class_names_;
  std::map<jobject, std::string> descriptions_;
  jthrowable pending_ = nullptr;
  std::vector<std::unique_ptr<char>> handles_;
};

// The calls of several steps, one after the other.
inline std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

#define FAKE_JNI_ON(fake, Function, ...) ((fake).on<&JNINativeInterface_::Function>(#Function, __VA_ARGS__))

namespace detail {

template <typename R, typename... A>
template <auto Slot>
R JniFunction<R (*)(JNIEnv*, A...)>::thunk(JNIEnv* env, A... args) {
  FakeJni* fake = FakeJni::from(env);
  const size_t index = slot_index<Slot>();
  fake->record(index);
  return (*static_cast<Hook*>(fake->hook(index)))(args...);
}

template <typename R, typename X>
template <auto Slot>
R JniFunction<R (*)(JNIEnv*, X, jmethodID, ...)>::thunk(JNIEnv* env, X x, jmethodID method, ...) {
  FakeJni* fake = FakeJni::from(env);
  const size_t index = slot_index<Slot>();
  fake->record(index);
  va_list args;
  va_start(args, method);
  if constexpr (std::is_void_v<R>) {
    (*static_cast<Hook*>(fake->hook(index)))(x, method, args);
    va_end(args);
  } else {
    R result = (*static_cast<Hook*>(fake->hook(index)))(x, method, args);
    va_end(args);
    return result;
  }
}

template <typename R, typename X, typename Y>
template <auto Slot>
R JniFunction<R (*)(JNIEnv*, X, Y, jmethodID, ...)>::thunk(JNIEnv* env, X x, Y y, jmethodID method, ...) {
  FakeJni* fake = FakeJni::from(env);
  const size_t index = slot_index<Slot>();
  fake->record(index);
  va_list args;
  va_start(args, method);
  if constexpr (std::is_void_v<R>) {
    (*static_cast<Hook*>(fake->hook(index)))(x, y, method, args);
    va_end(args);
  } else {
    R result = (*static_cast<Hook*>(fake->hook(index)))(x, y, method, args);
    va_end(args);
    return result;
  }
}

}  // namespace detail
}  // namespace zoltest

#endif  // ZOLTEST_FAKE_JNI_H
