/*
 * @test
 * @summary vostrel's Java/native recursion until Java stops, and the failures that end the JVM
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* VostrelTest
 * @run driver zoltest.JUnitChild VostrelTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;
import zol.stress.strace.vostrelThread;
import zoltest.ChildJvm;
import zoltest.Expected;

class VostrelTest {
    @Test
    void alwaysCallsBackUntilJavaStops() {
        vostrelThread t = new vostrelThread();
        t.limit = 250;
        t.recursiveMethod2();
        assertEquals(250, t.deepest);
        assertEquals(0, t.depth);
    }

    @Test
    void deepRecursionOnEightThreadsAtOnce() throws Exception {
        List<vostrelThread> threads = new ArrayList<>();
        for (int i = 0; i < 8; i++) {
            vostrelThread t = new vostrelThread(64L << 20);
            t.limit = 5000 + i;
            threads.add(t);
        }
        threads.forEach(Thread::start);
        for (int i = 0; i < threads.size(); i++) {
            threads.get(i).join();
            assertEquals(5000 + i, threads.get(i).deepest, "thread " + i);
        }
    }

    @Test
    void recursiveMethod1ThrowingEndsTheProcess() {
        ChildJvm.Result r = new ChildJvm(Recursion.class).args("5").run();
        assertEquals(1, r.exitCode, r.toString());
        assertEquals(Expected.failedVoidCall("vostrel.cpp", 37, "env->CallVoidMethod(obj, method)"), r.stdout);
        assertTrue(r.stderr.contains("java.lang.IllegalStateException: recursiveMethod1 at depth 5"), r.stderr);
    }

    @Test
    void classWithoutRecursiveMethod1EndsTheProcess() {
        ChildJvm.Result r = new ChildJvm(Recursion.class).variant("no-recursiveMethod1").args("-1").run();
        assertEquals(1, r.exitCode, r.toString());
        assertEquals(Expected.failedLookup("vostrel.cpp", 37,
                "(method = env->GetMethodID(threadClass, \"recursiveMethod1\", \"()V\")) != NULL"), r.stdout);
        assertTrue(r.stderr.matches("(?s).*java.lang.NoSuchMethodError: .*recursiveMethod1.*"), r.stderr);
    }

    /**
     * One recursion on the main thread, for the failures that end the process: args[0] is the depth at which
     * recursiveMethod1 throws (-1: never).
     */
    static final class Recursion {
        public static void main(String[] args) {
            vostrelThread thread = new vostrelThread();
            thread.throwAtDepth = Integer.parseInt(args[0]);
            thread.recursiveMethod2();
            System.out.println("recursiveMethod2 returned");
        }
    }
}
