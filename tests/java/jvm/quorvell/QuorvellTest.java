/*
 * @test
 * @summary Quorvell enters two nested monitors around C and exits both on every path
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* QuorvellTest
 * @run driver zoltest.JUnitChild QuorvellTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;
import zol.monitoring.share.thread.Quorvell;
import zol.share.TestBug;
import zoltest.ChildJvm;
import zoltest.Expected;
import zoltest.Monitors;

class QuorvellTest {
    private static Quorvell.Thread1 thread() {
        return new Quorvell().new Thread1();
    }

    @Test
    void cRunsOwningBothMonitorsAndNeitherIsOwnedAfter() throws Exception {
        Quorvell.Thread1 t = thread();
        t.B();
        assertEquals(1, t.calls);
        assertTrue(t.ownedLock4InC);
        assertTrue(t.ownedLock5InC);
        assertFalse(Thread.holdsLock(t.lock4));
        assertFalse(Thread.holdsLock(t.lock5));
        assertTrue(Monitors.free(t.lock4));
        assertTrue(Monitors.free(t.lock5));
    }

    @Test
    void monitorsHeldBeforeStayHeldOnceAfter() throws Exception {
        Quorvell.Thread1 t = thread();
        synchronized (t.lock4) {
            synchronized (t.lock5) {
                t.B();
                assertTrue(Thread.holdsLock(t.lock4));
                assertTrue(Thread.holdsLock(t.lock5));
            }
        }
        assertTrue(t.ownedLock4InC && t.ownedLock5InC);
        // One more entry left behind would keep the others out for good.
        assertTrue(Monitors.free(t.lock4));
        assertTrue(Monitors.free(t.lock5));
    }

    @Test
    void otherThreadsWaitWhileCRunsAndGetInAfter() throws Exception {
        Quorvell.Thread1 t = thread();
        Thread[] waiting = new Thread[2];
        boolean[] blocked = new boolean[2];
        t.inC = () -> {
            waiting[0] = Monitors.enterer(t.lock4);
            waiting[1] = Monitors.enterer(t.lock5);
            blocked[0] = Monitors.reaches(waiting[0], Thread.State.BLOCKED);
            blocked[1] = Monitors.reaches(waiting[1], Thread.State.BLOCKED);
        };
        t.start();
        t.join();
        assertTrue(blocked[0], "lock4 held in C");
        assertTrue(blocked[1], "lock5 held in C");
        for (Thread w : waiting) {
            w.join(5000);
            assertFalse(w.isAlive());
        }
    }

    @Test
    void failedMonitorEnterRaisesTestBugAndLeavesBothMonitorsFree() throws Exception {
        // A null lock is the one way a JVM fails MonitorEnter; for lock5 it
        // fails with lock4 already entered, which must be exited again.
        for (String which : new String[] {"lock4", "lock5"}) {
            Quorvell.Thread1 t = thread();
            Quorvell.CustomLock other = which.equals("lock4") ? t.lock5 : t.lock4;
            if (which.equals("lock4")) {
                t.lock4 = null;
            } else {
                t.lock5 = null;
            }
            TestBug e = assertThrows(TestBug.class, t::B, which);
            assertEquals("MonitorEnter(" + which + ") call failed", e.getMessage());
            assertEquals(0, t.calls, which);
            assertFalse(Thread.holdsLock(other), which);
            assertTrue(Monitors.free(other), which);
        }
    }

    @Test
    void receiverClassWithoutLock5ComplainsAndReturns() {
        ChildJvm.Result r = new ChildJvm(NoLock5.class).variant("no-lock5").run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals(Expected.failedLookup("Quorvell.cpp", 71,
                "(field = env->GetFieldID(threadClass, \"lock5\", \"Lzol/monitoring/share/thread/Quorvell$CustomLock;\")) != NULL")
                + "B returned, C calls 0, lock4 owned false, lock4 free true\n", r.stdout);
        assertTrue(r.stderr.contains("java.lang.NoSuchFieldError"), r.stderr);
    }

    @Test
    void exceptionOfCIsClearedAndBothMonitorsAreExited() {
        ChildJvm.Result r = new ChildJvm(CThrows.class).run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals(Expected.failedVoidCall("Quorvell.cpp", 74, "env->CallVoidMethod(o, method)")
                + "B returned, C calls 1, owned in C true true, owned after false false, free after true true\n",
                r.stdout);
        assertTrue(r.stderr.contains("java.lang.IllegalStateException: thrown by C"), r.stderr);
    }

    /** B in a fresh JVM, run with the variant whose Thread1 lacks lock5: the complaint is the library's first. */
    static final class NoLock5 {
        public static void main(String[] args) throws Exception {
            Quorvell.Thread1 t = thread();
            t.B();
            System.out.println("B returned, C calls " + t.calls + ", lock4 owned " + Thread.holdsLock(t.lock4)
                    + ", lock4 free " + Monitors.free(t.lock4));
        }
    }

    /** B in a fresh JVM with a C that throws. */
    static final class CThrows {
        public static void main(String[] args) throws Exception {
            Quorvell.Thread1 t = thread();
            t.inC = () -> {
                throw new IllegalStateException("thrown by C");
            };
            t.B();
            System.out.println("B returned, C calls " + t.calls + ", owned in C " + t.ownedLock4InC + " "
                    + t.ownedLock5InC + ", owned after " + Thread.holdsLock(t.lock4) + " "
                    + Thread.holdsLock(t.lock5) + ", free after " + Monitors.free(t.lock4) + " "
                    + Monitors.free(t.lock5));
        }
    }
}
