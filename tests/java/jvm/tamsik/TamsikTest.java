/*
 * @test
 * @summary tamsik's Java/native recursion to DEPTH, and the lookups that end the JVM
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* TamsikTest
 * @run driver zoltest.JUnitChild TamsikTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import zol.stress.strace.tamsik;
import zol.stress.strace.tamsikThread;
import zoltest.ChildJvm;
import zoltest.Expected;

class TamsikTest {
    private static final String FIELD = "(field = env->GetFieldID(threadClass, \"currentDepth\", \"I\")) != NULL";

    @AfterEach
    void restoreDepth() {
        tamsik.DEPTH = 100;
    }

    private static tamsikThread recurse(int entryDepth, int depthLimit) {
        tamsik.DEPTH = depthLimit;
        tamsikThread thread = new tamsikThread();
        thread.currentDepth = entryDepth;
        thread.recursiveMethod2();
        return thread;
    }

    @Test
    void depthIsRaisedPerNativeFrameAndRestored() {
        tamsikThread t = recurse(0, 10);
        assertEquals(9, t.callbacks);
        assertEquals(9, t.deepest);
        assertEquals(0, t.currentDepth);
    }

    @Test
    void deepestFrameDoesNotCallBack() {
        tamsikThread t = recurse(0, 1);
        assertEquals(0, t.callbacks);
        assertEquals(0, t.currentDepth);
    }

    @Test
    void callsBackOnceFromThreeBelowFive() {
        tamsikThread t = recurse(3, 5);
        assertEquals(1, t.callbacks);
        assertEquals(4, t.deepest);
        assertEquals(3, t.currentDepth);
    }

    @Test
    void depthAtOrAboveTheLimitStopsAtOnce() {
        for (int entry : new int[] {5, 6, 1000}) {
            tamsikThread t = recurse(entry, 5);
            assertEquals(0, t.callbacks, "entry " + entry);
            assertEquals(entry, t.currentDepth, "entry " + entry);
        }
    }

    @Test
    void deepRecursionOnEightThreadsAtOnce() throws Exception {
        tamsik.DEPTH = 5000;
        List<tamsikThread> threads = new ArrayList<>();
        for (int i = 0; i < 8; i++) {
            tamsikThread t = new tamsikThread(64L << 20);
            t.currentDepth = i;
            threads.add(t);
        }
        threads.forEach(Thread::start);
        for (int i = 0; i < threads.size(); i++) {
            tamsikThread t = threads.get(i);
            t.join();
            assertEquals(4999, t.deepest, "thread " + i);
            assertEquals(4999 - i, t.callbacks, "thread " + i);
            assertEquals(i, t.currentDepth, "thread " + i);
        }
    }

    private static ChildJvm.Result fail(String variant, int throwAt) {
        ChildJvm child = new ChildJvm(Recursion.class).args(String.valueOf(throwAt));
        if (variant != null) {
            child.variant(variant);
        }
        return child.run();
    }

    @Test
    void receiverClassWithoutCurrentDepthEndsTheProcess() {
        ChildJvm.Result r = fail("no-currentDepth", -1);
        assertEquals(1, r.exitCode, r.toString());
        assertEquals(Expected.failedLookup("tamsik.cpp", 44, FIELD), r.stdout);
        assertTrue(r.stderr.matches("(?s).*java.lang.NoSuchFieldError: .*currentDepth.*"), r.stderr);
    }

    @Test
    void testClassWithoutDepthEndsTheProcess() {
        ChildJvm.Result r = fail("no-DEPTH", -1);
        assertEquals(1, r.exitCode, r.toString());
        assertEquals(Expected.failedLookup("tamsik.cpp", 48,
                "(field = env->GetStaticFieldID(testClass, \"DEPTH\", \"I\")) != NULL"), r.stdout);
        assertTrue(r.stderr.matches("(?s).*java.lang.NoSuchFieldError: .*DEPTH.*"), r.stderr);
    }

    @Test
    void recursiveMethod1ThrowingEndsTheProcess() {
        ChildJvm.Result r = fail(null, 3);
        assertEquals(1, r.exitCode, r.toString());
        assertEquals(Expected.failedVoidCall("tamsik.cpp", 52, "env->CallVoidMethod(obj, method)"), r.stdout);
        assertTrue(r.stderr.contains("java.lang.IllegalStateException: recursiveMethod1 at depth 3"), r.stderr);
    }

    /**
     * One recursion on the main thread, for the failures that end the process: args[0] is the depth at which
     * recursiveMethod1 throws (-1: never).
     */
    static final class Recursion {
        public static void main(String[] args) {
            tamsikThread thread = new tamsikThread();
            thread.throwAtDepth = Integer.parseInt(args[0]);
            thread.recursiveMethod2();
            System.out.println("recursiveMethod2 returned");
        }
    }
}
