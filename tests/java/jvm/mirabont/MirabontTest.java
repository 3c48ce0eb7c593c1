/*
 * @test
 * @summary mirabont leaves its monitor entered; a failed MonitorEnter complains and throws
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.TestJNIError
 * @run junit MirabontTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.util.concurrent.locks.LockSupport;
import org.junit.jupiter.api.Test;
import zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont;
import zoltest.ChildJvm;
import zoltest.Expected;
import zoltest.Monitors;

// In child JVMs: a thread that owns a monitor through JNI keeps it until the
// process ends, and the complaint needs the library's first.
class MirabontTest {
    @Test
    void threadOwnsTheMonitorAfterReturnAndKeepsOthersOut() {
        ChildJvm.Result r = new ChildJvm(Holds.class).run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("holder parked true, owned before false, after one call true, after two calls and a block true\n"
                + "another thread blocked true\nanother thread still blocked true\n", r.stdout);
    }

    @Test
    void failedMonitorEnterComplainsAndThrows() {
        ChildJvm.Result r = new ChildJvm(NullLock.class).run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals(Expected.firstComplaint("libmirabont.cpp", 37, "MonitorEnter return non-zero: -1\n")
                + "caught zol.share.TestJNIError: MonitorEnter return non-zero\n", r.stdout);
    }

    /** A thread that enters the monitor twice through the native, then a synchronized block, and parks for good. */
    static final class Holds {
        public static void main(String[] args) throws Exception {
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
            boolean parked = Monitors.reaches(holder, Thread.State.WAITING);
            System.out.println("holder parked " + parked + ", owned before " + owned[0] + ", after one call "
                    + owned[1] + ", after two calls and a block " + owned[2]);
            Thread other = Monitors.enterer(lock);
            System.out.println("another thread blocked " + Monitors.reaches(other, Thread.State.BLOCKED));
            other.join(500);
            System.out.println("another thread still blocked " + (other.getState() == Thread.State.BLOCKED));
        }
    }

    /** A null lock in a fresh JVM: the complaint is the library's first. */
    static final class NullLock {
        public static void main(String[] args) {
            try {
                mirabont.nativeJNIMonitorEnter(null);
                System.out.println("no exception");
            } catch (Throwable e) {
                System.out.println("caught " + e);
            }
        }
    }
}
