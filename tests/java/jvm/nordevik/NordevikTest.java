/*
 * @test
 * @summary Nordevik holds its monitor exactly while createStackFrame runs
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.TestJNIError NordevikTest
 * @run driver zoltest.JUnitChild NordevikTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;
import zol.share.locks.Nordevik;
import zoltest.ChildJvm;
import zoltest.Expected;
import zoltest.Monitors;

class NordevikTest {
    @Test
    void lockIsOwnedExactlyWhileCreateStackFrameRuns() throws Exception {
        Object lock = new Object();
        Nordevik n = new Nordevik(lock);
        boolean[] blocked = new boolean[1];
        Thread[] waiting = new Thread[1];
        n.inCallback = () -> {
            waiting[0] = Monitors.enterer(lock);
            blocked[0] = Monitors.reaches(waiting[0], Thread.State.BLOCKED);
        };
        assertFalse(Thread.holdsLock(lock));
        n.nativeJNIMonitorEnter(lock);
        assertEquals(1, n.calls);
        assertTrue(n.ownedLockInCallback);
        assertTrue(blocked[0], "another thread kept out during createStackFrame");
        assertFalse(Thread.holdsLock(lock));
        waiting[0].join(5000);
        assertFalse(waiting[0].isAlive(), "another thread got in after the return");
    }

    @Test
    void lockTheCallerHoldsStaysHeldOnce() throws Exception {
        Object lock = new Object();
        Nordevik n = new Nordevik(lock);
        synchronized (lock) {
            n.nativeJNIMonitorEnter(lock);
            assertTrue(Thread.holdsLock(lock));
        }
        assertTrue(n.ownedLockInCallback);
        assertFalse(Thread.holdsLock(lock));
        assertTrue(Monitors.free(lock));
    }

    @Test
    void runsOnItsOwnThread() throws Exception {
        Object lock = new Object();
        Nordevik n = new Nordevik(lock);
        n.start();
        n.join();
        assertEquals(1, n.calls);
        assertTrue(n.ownedLockInCallback);
        assertTrue(Monitors.free(lock));
    }

    @Test
    void exceptionOfCreateStackFrameReachesTheCallerAndTheLockIsReleased() throws Exception {
        Object lock = new Object();
        Nordevik n = new Nordevik(lock);
        IllegalStateException thrown = new IllegalStateException("thrown by createStackFrame");
        n.inCallback = () -> {
            throw thrown;
        };
        assertSame(thrown, assertThrows(IllegalStateException.class, () -> n.nativeJNIMonitorEnter(lock)));
        assertFalse(Thread.holdsLock(lock));
        assertTrue(Monitors.free(lock));
    }

    @Test
    void exceptionOfCreateStackFramePrintsNoComplaint() {
        ChildJvm.Result r = new ChildJvm(Throws.class).run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("caught the exception of createStackFrame true\n"
                + "owned in callback true, owned after false, free after true\n", r.stdout);
    }

    @Test
    void failedMonitorEnterComplainsThrowsAndCallsNothingBack() {
        // A null lock is the one way a JVM fails MonitorEnter.
        ChildJvm.Result r = new ChildJvm(NullLock.class).run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals(Expected.firstComplaint("Nordevik.cpp", 39, "MonitorEnter return non-zero: -1\n")
                + "caught zol.share.TestJNIError: MonitorEnter return non-zero\ncreateStackFrame calls 0\n", r.stdout);
    }

    /** nativeJNIMonitorEnter in a fresh JVM with a createStackFrame that throws. */
    static final class Throws {
        public static void main(String[] args) throws Exception {
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
                    + Thread.holdsLock(lock) + ", free after " + Monitors.free(lock));
        }
    }

    /** A null lock in a fresh JVM: the complaint is the library's first. */
    static final class NullLock {
        public static void main(String[] args) {
            Nordevik n = new Nordevik(null);
            try {
                n.nativeJNIMonitorEnter(null);
                System.out.println("no exception");
            } catch (Throwable e) {
                System.out.println("caught " + e);
            }
            System.out.println("createStackFrame calls " + n.calls);
        }
    }
}
