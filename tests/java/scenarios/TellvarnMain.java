import gc.gctests.tellvarn.tellvarn;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;

/**
 * Shows getMallocLock02 entered and busy without waiting out its 180 seconds:
 * a daemon thread calls it, and the JVM ends a second later while the thread
 * is still inside the native. The tellvarn test and the load check run it.
 */
public final class TellvarnMain {
    private TellvarnMain() {}

    public static void main(String[] args) throws Exception {
        System.out.println(probe());
    }

    /** "inside getMallocLock02 for 1 s, on the CPU N% of it", or what was seen instead. */
    public static String probe() throws InterruptedException {
        Thread caller = new Thread(() -> new tellvarn().getMallocLock02(), "getMallocLock02");
        caller.setDaemon(true);
        caller.start();
        long deadline = System.nanoTime() + 10_000_000_000L;
        while (!inNative(caller)) {
            if (System.nanoTime() > deadline) {
                return "never seen inside getMallocLock02";
            }
            Thread.sleep(5);
        }
        ThreadMXBean threads = ManagementFactory.getThreadMXBean();
        long cpuBefore = threads.getThreadCpuTime(caller.getId());
        long wallBefore = System.nanoTime();
        Thread.sleep(1000);
        long cpu = threads.getThreadCpuTime(caller.getId()) - cpuBefore;
        long wall = System.nanoTime() - wallBefore;
        if (!inNative(caller)) {
            return "left getMallocLock02 within 1 s";
        }
        return "inside getMallocLock02 for 1 s, on the CPU " + (cpu * 100 / wall) + "% of it";
    }

    private static boolean inNative(Thread thread) {
        StackTraceElement[] stack = thread.getStackTrace();
        return thread.isAlive() && stack.length > 0 && stack[0].isNativeMethod()
                && stack[0].getClassName().equals(tellvarn.class.getName())
                && stack[0].getMethodName().equals("getMallocLock02");
    }
}
