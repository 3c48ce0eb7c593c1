/*
 * @test
 * @summary ulmapine sets threadInNative and never returns; the JVM still ends
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zoltest.scenarios.* zol.share.*
 * @run junit UlmapineTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.scenarios.LocksMain;

// In child JVMs: the spinning threads never return, so only the end of the
// process stops them.
class UlmapineTest {
    private static void spinsUntilTheEnd(String ending) {
        ChildJvm.Result r = new ChildJvm(LocksMain.class).args("ulmapine-spins", ending).timeout(60)
                .run();
        assertEquals(0, r.exitCode, r.toString());
        StringBuilder expected = new StringBuilder();
        for (int i = 0; i < 2; i++) {
            expected.append("spinner").append(i).append(" in native true\n");
        }
        for (int i = 0; i < 2; i++) {
            expected.append("spinner").append(i).append(" after interrupt: alive true, state RUNNABLE, in native true\n");
        }
        expected.append("ending by ").append(ending).append('\n');
        assertEquals(expected.toString(), r.stdout);
    }

    @Test
    void flagIsSetAndThreadsStayInNativeUntilSystemExit() {
        spinsUntilTheEnd("exit");
    }

    @Test
    void daemonSpinnersDoNotKeepTheJvmFromEnding() {
        spinsUntilTheEnd("daemon");
    }
}
