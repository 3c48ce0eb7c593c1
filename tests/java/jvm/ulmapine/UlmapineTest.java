/*
 * @test
 * @summary ulmapine sets threadInNative and never returns; the JVM still ends
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.*
 * @run junit UlmapineTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine;
import zoltest.ChildJvm;

// In child JVMs: the spinning threads never return, so only the end of the
// process stops them.
class UlmapineTest {
    private static void spinsUntilTheEnd(String ending) {
        ChildJvm.Result r = new ChildJvm(Spins.class).args(ending).timeout(60).run();
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

    /** Two threads spin in the native; args[0]: "exit" ends the JVM by System.exit, "daemon" by main's return. */
    static final class Spins {
        public static void main(String[] args) throws Exception {
            String ending = args[0];
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
}
