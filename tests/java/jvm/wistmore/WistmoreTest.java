/*
 * @test
 * @summary Wistmore attached through the attach API: every attach fails with -1
 * @modules jdk.attach
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.*
 * @run junit WistmoreTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;

import com.sun.tools.attach.AgentInitializationException;
import com.sun.tools.attach.AgentLoadException;
import com.sun.tools.attach.VirtualMachine;
import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.TestEnv;

/** Wistmore attached through the attach API to a running child JVM, which attaches to itself. */
class WistmoreTest {
    /** Attaches the library once per options argument ("-": none). */
    private static ChildJvm.Result attach(String library, String... options) {
        ChildJvm.Result r = new ChildJvm(Attach.class)
                .attachSelf()
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
        // JDK 8 does not say why.
        String why = TestEnv.feature() < 9 ? "" : ": Agent_OnAttach is not available in " + TestEnv.library("Pellandor");
        assertEquals("AgentLoadException: Failed to load agent library" + why + "\nstill running: 2890\n", r.stdout);
    }

    /**
     * Attaches to its own JVM (started to allow it: ChildJvm.attachSelf) and loads the agent at args[0],
     * once per further argument ("-" for no options), printing how each attach ended; then shows the JVM still
     * runs.
     */
    static final class Attach {
        public static void main(String[] args) throws Exception {
            VirtualMachine vm = VirtualMachine.attach(TestEnv.pid());
            try {
                for (int i = 1; i < args.length; i++) {
                    String options = args[i].equals("-") ? null : args[i];
                    try {
                        if (options == null) {
                            vm.loadAgentPath(args[0]);
                        } else {
                            vm.loadAgentPath(args[0], options);
                        }
                        System.out.println("loaded");
                    } catch (AgentInitializationException e) {
                        System.out.println("AgentInitializationException: " + e.getMessage() + ", return value "
                                + e.returnValue());
                    } catch (AgentLoadException e) {
                        System.out.println("AgentLoadException: " + e.getMessage());
                    }
                }
            } finally {
                vm.detach();
            }
            long sum = 0;
            for (int i = 0; i < 1000; i++) {
                sum += Integer.toString(i).length();
            }
            System.out.println("still running: " + sum);
        }
    }
}
