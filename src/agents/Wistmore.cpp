// An agent whose every attach fails: the attach tests expect the attach
// request to come back with the agent's own error result.

#include <jni.h>

extern "C" {

// Agent entry: VirtualMachine.loadAgentPath("<dir>/libWistmore.so"[, options])
JNIEXPORT jint JNICALL Agent_OnAttach(JavaVM*, char*, void*) { return JNI_ERR; }

}  // extern "C"
