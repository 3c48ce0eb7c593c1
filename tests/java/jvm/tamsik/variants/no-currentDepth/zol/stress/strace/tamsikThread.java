package zol.stress.strace;

/** A tamsik thread class without currentDepth. */
public class tamsikThread extends Thread {
    static {
        System.loadLibrary("tamsik");
    }

    public int throwAtDepth = -1;

    public native void recursiveMethod2();

    public void recursiveMethod1() {
        recursiveMethod2();
    }
}
