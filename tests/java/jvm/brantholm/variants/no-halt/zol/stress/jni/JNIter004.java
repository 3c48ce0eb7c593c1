package zol.stress.jni;

/** JNIter004 without halt(): the call that reaches its limit cannot find it. */
public class JNIter004 {
    static {
        System.loadLibrary("brantholm");
    }

    public native char[] CheckSum(String str);

    public native boolean CheckCompare(String str, char[] sum, int limit);

    public static int halts() {
        return 0;
    }
}
