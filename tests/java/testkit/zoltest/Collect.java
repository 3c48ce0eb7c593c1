package zoltest;

import java.lang.ref.WeakReference;

/** Garbage collections on demand, for tests that watch references being cleared or kept. */
public final class Collect {
    private Collect() {}

    /** Collects until ref is cleared or about two seconds have passed; true if it was cleared. */
    public static boolean untilCleared(WeakReference<?> ref) throws InterruptedException {
        for (int i = 0; i < 100 && ref.get() != null; i++) {
            System.gc();
            Thread.sleep(20);
        }
        return ref.get() == null;
    }

    /** A few full collections, for checks that something survives them. */
    public static void several() throws InterruptedException {
        for (int i = 0; i < 5; i++) {
            System.gc();
            Thread.sleep(10);
        }
    }
}
