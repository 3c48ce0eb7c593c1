package zol.share.gc.lock.jni;

/** A Grendalo locker whose array field is not named obj. */
public class Grendalo {
    static {
        System.loadLibrary("Grendalo");
    }

    public Object array;

    public Grendalo(int[] array) {
        this.array = array;
    }

    public native int criticalNative(long runMs, long pauseMs);
}
