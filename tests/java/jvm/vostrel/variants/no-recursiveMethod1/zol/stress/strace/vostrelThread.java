package zol.stress.strace;

/** A vostrel thread class without recursiveMethod1. */
public class vostrelThread extends Thread {
    static {
        System.loadLibrary("vostrel");
    }

    public int limit = 100;
    public int throwAtDepth = -1;

    public native void recursiveMethod2();
}
