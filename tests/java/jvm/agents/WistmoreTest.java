/*
 * @test
 * @summary Wistmore attached through the attach API: every attach fails with -1
 * @modules jdk.attach
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zoltest.scenarios.* zol.share.*
 * @run junit WistmoreTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.TestEnv;
import zoltest.scenarios.WistmoreMain;

/** Wistmore attached through the attach API to a running child JVM, which attaches to itself. */
class WistmoreTest {
    /** Attaches the library once per options argument ("-": none). */
    private static ChildJvm.Result attach(String library, String... options) {
        ChildJvm.Result r = new ChildJvm(WistmoreMain.class)
                // Dynamic loading is what these runs do: say so, so the JVM does not warn about it.
                .options("-Djdk.attach.allowAttachSelf=true", "-XX:+EnableDynamicAgentLoading")
                .args(TestEnv.library(library).toString())
                .args(options)
                .run();
        assertEquals(0, r.exitCode, r.toString());
        return r;
    }

    @Test
    void everyAttachFailsWithTheAgentsResultAndTheJvmGoesOn() {
        String failed = "AgentInitializationException: Agent_OnAttach failed, return value -1\n";
        ChildJvm.Result r = attach("Wistmore", "-", "verbose=1,mode=x", "-", "");
        assertEquals(failed + failed + failed + failed + "still running: 2890\n", r.stdout);
        assertFalse(r.stderr.contains("WARNING"), r.stderr);
    }

    @Test
    void anAgentWithoutAnAttachEntryFailsDifferently() {
        // Tells the agent's own -1 apart from a library the JVM cannot use for attaching.
        ChildJvm.Result r = attach("Pellandor", "-");
        assertEquals("AgentLoadException: Failed to load agent library: Agent_OnAttach is not available in "
                + TestEnv.library("Pellandor") + "\nstill running: 2890\n", r.stdout);
    }
}
