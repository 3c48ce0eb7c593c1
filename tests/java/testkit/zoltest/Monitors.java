package zoltest;

import java.util.concurrent.TimeUnit;

/** Another thread's view of a monitor, for the tests of the natives that hold one. */
public final class Monitors {
    private Monitors() {}

    /** A daemon thread that enters and leaves lock's monitor once, started. */
    public static Thread enterer(Object lock) {
        Thread t = new Thread(() -> {
            synchronized (lock) {
                lock.hashCode();
            }
        });
        t.setDaemon(true);
        t.start();
        return t;
    }

    /** Whether another thread can enter lock's monitor within a few seconds. */
    public static boolean free(Object lock) throws InterruptedException {
        Thread t = enterer(lock);
        t.join(TimeUnit.SECONDS.toMillis(5));
        return !t.isAlive();
    }

    /** Whether t reaches state within ten seconds. */
    public static boolean reaches(Thread t, Thread.State state) {
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
        while (t.getState() != state && System.nanoTime() < end) {
            Thread.yield();
        }
        return t.getState() == state;
    }
}
