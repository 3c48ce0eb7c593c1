package zoltest.scenarios;

import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.LockSupport;
import zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont;
import zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine;
import zol.monitoring.share.thread.Quorvell;
import zol.share.locks.Nordevik;

/**
 * The lock-holding natives in a fresh JVM, for runs whose exact output
 * counts or that leave a thread owning a monitor or spinning for good.
 * args[0] names the case; each prints what it saw, one fact per line.
 */
public final class LocksMain {
    private LocksMain() {}

    public static void main(String[] args) throws Exception {
        switch (args[0]) {
            case "quorvell-no-lock5": {
                // Run with the variant whose Thread1 lacks lock5.
                Quorvell.Thread1 t = new Quorvell().new Thread1();
                t.B();
                System.out.println("B returned, C calls " + t.calls + ", lock4 owned " + Thread.holdsLock(t.lock4)
                        + ", lock4 free " + free(t.lock4));
                break;
            }
            case "quorvell-C-throws": {
                Quorvell.Thread1 t = new Quorvell().new Thread1();
                t.inC = () -> {
                    throw new IllegalStateException("thrown by C");
                };
                t.B();
                System.out.println("B returned, C calls " + t.calls + ", owned in C " + t.ownedLock4InC + " "
                        + t.ownedLock5InC + ", owned after " + Thread.holdsLock(t.lock4) + " "
                        + Thread.holdsLock(t.lock5) + ", free after " + free(t.lock4) + " " + free(t.lock5));
                break;
            }
            case "nordevik-throws": {
                Object lock = new Object();
                Nordevik n = new Nordevik(lock);
                IllegalStateException thrown = new IllegalStateException("thrown by createStackFrame");
                n.inCallback = () -> {
                    throw thrown;
                };
                try {
                    n.nativeJNIMonitorEnter(lock);
                    System.out.println("no exception");
                } catch (IllegalStateException e) {
                    System.out.println("caught the exception of createStackFrame " + (e == thrown));
                }
                System.out.println("owned in callback " + n.ownedLockInCallback + ", owned after "
                        + Thread.holdsLock(lock) + ", free after " + free(lock));
                break;
            }
            case "nordevik-null-lock": {
                Nordevik n = new Nordevik(null);
                try {
                    n.nativeJNIMonitorEnter(null);
                    System.out.println("no exception");
                } catch (Throwable e) {
                    System.out.println("caught " + e);
                }
                System.out.println("createStackFrame calls " + n.calls);
                break;
            }
            case "mirabont-null-lock": {
                try {
                    mirabont.nativeJNIMonitorEnter(null);
                    System.out.println("no exception");
                } catch (Throwable e) {
                    System.out.println("caught " + e);
                }
                break;
            }
            case "mirabont-holds": {
                mirabontHolds();
                break;
            }
            case "ulmapine-spins":
                ulmapineSpins(args[1]);
                break;
            default:
                throw new IllegalArgumentException(args[0]);
        }
    }

    /** Whether another thread can enter lock's monitor within a few seconds. */
    static boolean free(Object lock) throws InterruptedException {
        Thread other = new Thread(() -> {
            synchronized (lock) {
                lock.hashCode();
            }
        });
        other.setDaemon(true);
        other.start();
        other.join(TimeUnit.SECONDS.toMillis(5));
        return !other.isAlive();
    }

    /** Waits up to 10 s for t to reach state; whether it did. */
    static boolean reaches(Thread t, Thread.State state) throws InterruptedException {
        for (int i = 0; i < 1000 && t.getState() != state; i++) {
            Thread.sleep(10);
        }
        return t.getState() == state;
    }

    private static void mirabontHolds() throws Exception {
        Object lock = new Object();
        boolean[] owned = new boolean[3];
        Thread holder = new Thread(() -> {
            owned[0] = Thread.holdsLock(lock);
            mirabont.nativeJNIMonitorEnter(lock);
            owned[1] = Thread.holdsLock(lock);
            mirabont.nativeJNIMonitorEnter(lock);
            owned[2] = Thread.holdsLock(lock);
            // A synchronized block on top of the JNI entries leaves them in place.
            synchronized (lock) {
                lock.hashCode();
            }
            owned[2] &= Thread.holdsLock(lock);
            while (true) {
                LockSupport.park();
            }
        });
        holder.setDaemon(true);
        holder.start();
        boolean parked = reaches(holder, Thread.State.WAITING);
        System.out.println("holder parked " + parked + ", owned before " + owned[0] + ", after one call " + owned[1]
                + ", after two calls and a block " + owned[2]);
        Thread other = new Thread(() -> {
            synchronized (lock) {
                lock.hashCode();
            }
        });
        other.setDaemon(true);
        other.start();
        System.out.println("another thread blocked " + reaches(other, Thread.State.BLOCKED));
        other.join(500);
        System.out.println("another thread still blocked " + (other.getState() == Thread.State.BLOCKED));
    }

    private static void ulmapineSpins(String ending) throws Exception {
        ulmapine[] objects = {new ulmapine(), new ulmapine()};
        Thread[] threads = new Thread[objects.length];
        for (int i = 0; i < threads.length; i++) {
            ulmapine object = objects[i];
            threads[i] = new Thread(() -> object.nativeMethod(object), "spinner" + i);
            threads[i].setDaemon(ending.equals("daemon"));
            threads[i].start();
        }
        for (int i = 0; i < threads.length; i++) {
            for (int w = 0; w < 1000 && !objects[i].threadInNative; w++) {
                Thread.sleep(10);
            }
            System.out.println("spinner" + i + " in native " + objects[i].threadInNative);
        }
        for (Thread t : threads) {
            t.interrupt();
        }
        for (int i = 0; i < threads.length; i++) {
            threads[i].join(300);
            System.out.println("spinner" + i + " after interrupt: alive " + threads[i].isAlive() + ", state "
                    + threads[i].getState() + ", in native " + objects[i].threadInNative);
        }
        System.out.println("ending by " + ending);
        if (ending.equals("exit")) {
            System.exit(0);
        }
    }
}
