#include "fake_jni.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace zoltest {

namespace {
constexpr size_t kSlots = sizeof(JNINativeInterface_) / sizeof(void*);
}

FakeJni::FakeJni() {
  box_.env.functions = &table_;
  box_.owner = this;
  fill_traps(std::make_index_sequence<kSlots>());
  install_exception_model();
}

FakeJni::~FakeJni() = default;

FakeJni* FakeJni::from(JNIEnv* env) { return reinterpret_cast<Box*>(env)->owner; }

template <size_t... I>
void FakeJni::fill_traps(std::index_sequence<I...>) {
  void** slots = reinterpret_cast<void**>(&table_);
  // Slots 0..3 are reserved by the JNI and stay null.
  ((slots[I] = I < 4 ? nullptr : reinterpret_cast<void*>(&FakeJni::trap<I>)), ...);
}

template <size_t I>
void* FakeJni::trap(JNIEnv* env) {
  FakeJni* fake = from(env);
  fake->calls_.push_back("slot#" + std::to_string(I));
  ADD_FAILURE() << "unexpected call of JNI function slot #" << I
                << " (the index in JNINativeInterface_); install a hook for it";
  return nullptr;
}

void FakeJni::record(size_t index) { calls_.push_back(names_[index]); }

void* FakeJni::hook(size_t index) { return hooks_.at(index).get(); }

size_t FakeJni::count(const std::string& name) const {
  size_t n = 0;
  for (const auto& call : calls_) n += call == name ? 1 : 0;
  return n;
}

void* FakeJni::next_handle() {
  handles_.emplace_back(new char(0));
  return handles_.back().get();
}

jclass FakeJni::klass(const std::string& name) {
  auto found = classes_.find(name);
  if (found != classes_.end()) return found->second;
  jclass ref = handle<jclass>();
  classes_[name] = ref;
  class_names_[ref] = name;
  return ref;
}

std::string FakeJni::class_name(jobject ref) const {
  auto found = class_names_.find(ref);
  return found == class_names_.end() ? "" : found->second;
}

jthrowable FakeJni::raise(const std::string& description) {
  jthrowable throwable = handle<jthrowable>();
  descriptions_[throwable] = description;
  pending_ = throwable;
  return throwable;
}

std::string FakeJni::description(jthrowable throwable) const {
  auto found = descriptions_.find(throwable);
  return found == descriptions_.end() ? "" : found->second;
}

void FakeJni::install_exception_model() {
  FAKE_JNI_ON(*this, ExceptionOccurred, [this]() { return pending_; });
  FAKE_JNI_ON(*this, ExceptionCheck, [this]() -> jboolean { return pending_ != nullptr; });
  FAKE_JNI_ON(*this, ExceptionClear, [this]() { pending_ = nullptr; });
  // The JVM describes on stderr; stdout here keeps the description in order
  // with the natives' own lines, which is what the tests check.
  FAKE_JNI_ON(*this, ExceptionDescribe, [this]() {
    if (pending_ != nullptr) printf("[described: %s]\n", description(pending_).c_str());
    fflush(stdout);
  });
  FAKE_JNI_ON(*this, Throw, [this](jthrowable throwable) -> jint {
    pending_ = throwable;
    return 0;
  });
  FAKE_JNI_ON(*this, ThrowNew, [this](jclass cls, const char* message) -> jint {
    raise(class_name(cls) + ": " + (message != nullptr ? message : "(no message)"));
    return 0;
  });
  FAKE_JNI_ON(*this, FatalError, [](const char* message) {
    fflush(stdout);
    fprintf(stderr, "FatalError: %s\n", message);
    fflush(stderr);
    abort();
  });
}

}  // namespace zoltest
