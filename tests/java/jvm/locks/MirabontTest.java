/*
 * @test
 * @summary mirabont leaves its monitor entered; a failed MonitorEnter complains and throws
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zoltest.scenarios.* zol.share.*
 * @run junit MirabontTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.Expected;
import zoltest.scenarios.LocksMain;

// In child JVMs: a thread that owns a monitor through JNI keeps it until the
// process ends, and the complaint needs the library's first.
class MirabontTest {
    @Test
    void threadOwnsTheMonitorAfterReturnAndKeepsOthersOut() {
        ChildJvm.Result r = new ChildJvm(LocksMain.class).args("mirabont-holds").run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("holder parked true, owned before false, after one call true, after two calls and a block true\n"
                + "another thread blocked true\nanother thread still blocked true\n", r.stdout);
    }

    @Test
    void failedMonitorEnterComplainsAndThrows() {
        ChildJvm.Result r = new ChildJvm(LocksMain.class).args("mirabont-null-lock").run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals(Expected.firstComplaint("libmirabont.cpp", 37, "MonitorEnter return non-zero: -1\n")
                + "caught zol.share.TestJNIError: MonitorEnter return non-zero\n", r.stdout);
    }
}
