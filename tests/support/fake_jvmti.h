// A jvmtiEnv on a fresh function table, and a JavaVM whose GetEnv hands it
// out, for driving agents through paths that a real JVM does not produce.
// Every function traps (the test fails, naming the function number) until a
// test hooks it. Built in, and replaceable: Deallocate of the memory that
// this fake handed out (string(), array()) or of NULL, which a JVM ignores,
// and object tags (GetTag, SetTag).
// Header-only.
//
//   zoltest::FakeJvmti ti;
//   FAKE_JVMTI_ON(ti, GetFieldName, [&](jclass, jfieldID, char** name, char**, char**) {
//     *name = ti.string("x");
//     return JVMTI_ERROR_NONE;
//   });
//   Agent_OnLoad(ti.vm(), nullptr, nullptr);
//   EXPECT_EQ(ti.outstanding(), 0u);
#ifndef ZOLTEST_FAKE_JVMTI_H
#define ZOLTEST_FAKE_JVMTI_H

#include <gtest/gtest.h>
#include <jni.h>
#include <jvmti.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zoltest {

class FakeJvmti;

namespace jvmti_detail {

template <typename Fn>
struct JvmtiFunction;

template <typename... A>
struct JvmtiFunction<jvmtiError(JNICALL*)(jvmtiEnv*, A...)> {
  using Hook = std::function<jvmtiError(A...)>;
  template <auto Slot>
  static jvmtiError JNICALL thunk(jvmtiEnv* env, A... args);
};

// SetEventNotificationMode: the hook gets the fixed arguments only.
template <typename... A>
struct JvmtiFunction<jvmtiError(JNICALL*)(jvmtiEnv*, A..., ...)> {
  using Hook = std::function<jvmtiError(A...)>;
  template <auto Slot>
  static jvmtiError JNICALL thunk(jvmtiEnv* env, A... args, ...);
};

template <auto Slot>
using SlotFunction = JvmtiFunction<std::remove_reference_t<decltype(std::declval<jvmtiInterface_1_&>().*Slot)>>;

template <auto Slot>
size_t slot_index() {
  static jvmtiInterface_1_ probe;
  return static_cast<size_t>(reinterpret_cast<char*>(&(probe.*Slot)) - reinterpret_cast<char*>(&probe)) / sizeof(void*);
}

}  // namespace jvmti_detail

class FakeJvmti {
 public:
  FakeJvmti() {
    box_.env.functions = &table_;
    box_.owner = this;
    fill_traps(std::make_index_sequence<kSlots>());
    vm_box_.vm.functions = &invoke_;
    vm_box_.owner = this;
    invoke_.GetEnv = &FakeJvmti::get_env_thunk;
    get_env = [this](void** penv, jint) {
      *penv = env();
      return JNI_OK;
    };
    install_models();
  }
  ~FakeJvmti() {
    for (auto& block : live_) free(block.first);
  }
  FakeJvmti(const FakeJvmti&) = delete;
  FakeJvmti& operator=(const FakeJvmti&) = delete;

  jvmtiEnv* env() { return &box_.env; }
  JavaVM* vm() { return &vm_box_.vm; }
  static FakeJvmti* from(jvmtiEnv* env) { return reinterpret_cast<Box*>(env)->owner; }

  // What JavaVM::GetEnv does (recorded as "GetEnv"); by default it hands out env().
  std::function<jint(void** penv, jint version)> get_env;

  // Installs hook for the function in Slot (use FAKE_JVMTI_ON). The hook takes
  // the function's arguments after the jvmtiEnv*.
  template <auto Slot, typename Hook>
  void on(const char* name, Hook hook) {
    using Function = jvmti_detail::SlotFunction<Slot>;
    const size_t index = jvmti_detail::slot_index<Slot>();
    hooks_[index] = std::make_shared<typename Function::Hook>(std::move(hook));
    names_[index] = name;
    reinterpret_cast<void**>(&table_)[index] = reinterpret_cast<void*>(&Function::template thunk<Slot>);
  }

  // Names of the functions called so far, in order; an unhooked one is
  // recorded as "function#N" (its JVM TI function number) and fails the test.
  const std::vector<std::string>& calls() const { return calls_; }
  void clear_calls() { calls_.clear(); }
  size_t count(const std::string& name) const {
    size_t n = 0;
    for (const auto& call : calls_) n += call == name ? 1 : 0;
    return n;
  }

  // Memory as the tool interface hands it out; Deallocate takes it back.
  char* string(const std::string& text) { return static_cast<char*>(allocate(text.c_str(), text.size() + 1, text)); }
  template <typename T>
  T* array(const std::vector<T>& items, const std::string& label) {
    // NOLINTNEXTLINE(bugprone-sizeof-expression): T may be a JNI reference, a pointer
    return static_cast<T*>(allocate(items.data(), items.size() * sizeof(T), label));
  }
  // Blocks handed out and not yet deallocated.
  size_t outstanding() const { return live_.size(); }
  // Labels of the deallocated blocks (a string's text; "NULL" for a null
  // pointer), in order.
  const std::vector<std::string>& deallocated() const { return deallocated_; }

  const std::map<jobject, jlong>& tags() const { return tags_; }

  // Plumbing for the thunks.
  void* hook(size_t index) {
    calls_.push_back(names_[index]);
    return hooks_.at(index).get();
  }

 private:
  static constexpr size_t kSlots = sizeof(jvmtiInterface_1_) / sizeof(void*);

  template <size_t... I>
  void fill_traps(std::index_sequence<I...>) {
    void** slots = reinterpret_cast<void**>(&table_);
    ((slots[I] = reinterpret_cast<void*>(&FakeJvmti::trap<I>)), ...);
  }

  template <size_t I>
  static jvmtiError JNICALL trap(jvmtiEnv* env) {
    from(env)->calls_.push_back("function#" + std::to_string(I + 1));
    ADD_FAILURE() << "unexpected call of JVM TI function number " << I + 1 << "; install a hook for it";
    return JVMTI_ERROR_INTERNAL;
  }

  static jint JNICALL get_env_thunk(JavaVM* vm, void** penv, jint version) {
    FakeJvmti* fake = reinterpret_cast<VmBox*>(vm)->owner;
    fake->calls_.push_back("GetEnv");
    return fake->get_env(penv, version);
  }

  void* allocate(const void* data, size_t size, const std::string& label) {
    void* block = malloc(size == 0 ? 1 : size);
    if (size != 0) memcpy(block, data, size);
    live_[block] = label;
    return block;
  }

  void install_models() {
    on<&jvmtiInterface_1_::Deallocate>("Deallocate", [this](unsigned char* mem) {
      if (mem == nullptr) {
        deallocated_.push_back("NULL");
        return JVMTI_ERROR_NONE;
      }
      auto found = live_.find(mem);
      if (found == live_.end()) {
        ADD_FAILURE() << "Deallocate of memory this fake did not hand out, or handed back twice";
        return JVMTI_ERROR_ILLEGAL_ARGUMENT;
      }
      deallocated_.push_back(found->second);
      free(found->first);
      live_.erase(found);
      return JVMTI_ERROR_NONE;
    });
    on<&jvmtiInterface_1_::GetTag>("GetTag", [this](jobject object, jlong* tag) {
      auto found = tags_.find(object);
      *tag = found == tags_.end() ? 0 : found->second;
      return JVMTI_ERROR_NONE;
    });
    on<&jvmtiInterface_1_::SetTag>("SetTag", [this](jobject object, jlong tag) {
      tags_[object] = tag;
      return JVMTI_ERROR_NONE;
    });
  }

  // The env must come first so that the jvmtiEnv* an agent receives leads
  // back to its fake; likewise the vm.
  struct Box {
    _jvmtiEnv env;
    FakeJvmti* owner;
  } box_;
  struct VmBox {
    JavaVM_ vm;
    FakeJvmti* owner;
  } vm_box_;
  jvmtiInterface_1_ table_{};
  JNIInvokeInterface_ invoke_{};
  std::map<size_t, std::shared_ptr<void>> hooks_;
  std::map<size_t, std::string> names_;
  std::vector<std::string> calls_;
  std::map<void*, std::string> live_;
  std::vector<std::string> deallocated_;
  std::map<jobject, jlong> tags_;
};

#define FAKE_JVMTI_ON(fake, Function, ...) ((fake).on<&jvmtiInterface_1_::Function>(#Function, __VA_ARGS__))

namespace jvmti_detail {

template <typename... A>
template <auto Slot>
jvmtiError JNICALL JvmtiFunction<jvmtiError(JNICALL*)(jvmtiEnv*, A...)>::thunk(jvmtiEnv* env, A... args) {
  return (*static_cast<Hook*>(FakeJvmti::from(env)->hook(slot_index<Slot>())))(args...);
}

template <typename... A>
template <auto Slot>
jvmtiError JNICALL JvmtiFunction<jvmtiError(JNICALL*)(jvmtiEnv*, A..., ...)>::thunk(jvmtiEnv* env, A... args, ...) {
  return (*static_cast<Hook*>(FakeJvmti::from(env)->hook(slot_index<Slot>())))(args...);
}

}  // namespace jvmti_detail
}  // namespace zoltest

#endif  // ZOLTEST_FAKE_JVMTI_H
