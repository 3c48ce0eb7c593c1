/*
 * @test
 * @summary The four GC-locker libraries: checksums, timed passes, failures that end the JVM
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* LockersTest
 * @run driver zoltest.JUnitChild LockersTest
 */

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.management.GarbageCollectorMXBean;
import java.lang.management.ManagementFactory;
import java.lang.reflect.Array;
import java.lang.reflect.Constructor;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.atomic.AtomicBoolean;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;
import zol.share.gc.lock.jni.Grendalo;
import zol.share.gc.lock.jni.Harvimble;
import zol.share.gc.lock.jni.Justrelo;
import zol.share.gc.lock.jni.Kestramon;
import zoltest.ChildJvm;
import zoltest.JniWarnings;
import zoltest.TestEnv;

class LockersTest {
    private static final int[] INTS = {5, 9, 6};
    private static final int INTS_XOR = 5 ^ 9 ^ 6;
    private static final short[] SHORTS = {(short) 0x8000, 0x00ff, -2};
    private static final short SHORTS_XOR = (short) 0x7f01;
    // Single precision loses each 3 added onto 1e8; double precision keeps them.
    private static final float[] FLOATS = {1e8f, 3, 3, 3};
    private static final double[] DOUBLES = {1e8, 1, 0.5};

    private static final String CRITICAL_WARNING =
            "Warning: Calling other JNI functions in the scope of Get/ReleasePrimitiveArrayCritical or Get/ReleaseStringCritical";

    /** The checksum after n passes over FLOATS, each sum rounded to float. */
    private static float floatPasses(int n) {
        float sum = 0;
        for (int i = 0; i < n; i++) {
            for (float e : FLOATS) {
                sum += e;
            }
        }
        return sum;
    }

    private static double doublePasses(int n) {
        double sum = 0;
        for (int i = 0; i < n; i++) {
            for (double e : DOUBLES) {
                sum += e;
            }
        }
        return sum;
    }

    @Test
    void runsBelowOneSecondMakeOnePassWithTheExactChecksum() {
        for (long runMs : new long[] {0, 999, -1, -1999}) {
            String what = "run_ms " + runMs;
            Grendalo g = new Grendalo(INTS.clone());
            assertEquals(INTS_XOR, g.criticalNative(runMs, 0), what);
            assertArrayEquals(INTS, (int[]) g.obj, what);
            Justrelo j = new Justrelo(SHORTS.clone());
            assertEquals(SHORTS_XOR, j.criticalNative(runMs, 0), what);
            assertArrayEquals(SHORTS, (short[]) j.obj, what);
            Harvimble h = new Harvimble(FLOATS.clone());
            assertEquals(1e8f, h.criticalNative(runMs, 0), what);
            assertArrayEquals(FLOATS, (float[]) h.obj, what);
            Kestramon k = new Kestramon(DOUBLES.clone());
            assertEquals(100000001.5, k.criticalNative(runMs, 0), what);
            assertArrayEquals(DOUBLES, (double[]) k.obj, what);
        }
        assertNotEquals((float) (1e8 + 3 + 3 + 3), 1e8f, "the floats must tell single from double accumulation");
    }

    @Test
    void onePassPausesInsideAndOutsideTheRegion() {
        long start = System.nanoTime();
        assertEquals(INTS_XOR, new Grendalo(INTS.clone()).criticalNative(0, 150));
        long elapsedMs = (System.nanoTime() - start) / 1_000_000;
        assertTrue(elapsedMs >= 300 && elapsedMs < 1000, "one pass of two 150 ms pauses took " + elapsedMs + " ms");
    }

    @Test
    void emptyArraysGiveZero() {
        assertEquals(0, new Grendalo(new int[0]).criticalNative(0, 1));
        assertEquals(0, new Justrelo(new short[0]).criticalNative(0, 1));
        assertEquals(0f, new Harvimble(new float[0]).criticalNative(0, 1));
        assertEquals(0.0, new Kestramon(new double[0]).criticalNative(0, 1));
    }

    /** One timed run on its own thread: the passes are told from the time it took. */
    private static final class Run {
        final Object locker;
        final Object array;
        final Object copy;
        final long pauseMs;
        final Callable<Object> call;
        final Thread thread;
        volatile Object result;
        volatile long elapsedMs;
        final AtomicBoolean seenNull = new AtomicBoolean();

        Run(Object locker, Object array, Object copy, long pauseMs, Callable<Object> call) {
            this.locker = locker;
            this.array = array;
            this.copy = copy;
            this.pauseMs = pauseMs;
            this.call = call;
            this.thread = new Thread(() -> {
                long start = System.nanoTime();
                try {
                    result = call.call();
                } catch (Exception e) {
                    result = e;
                }
                elapsedMs = (System.nanoTime() - start) / 1_000_000;
            });
        }

        /** Each pass pauses twice; the rest of a pass takes next to nothing. */
        int passes() {
            return (int) (elapsedMs / (2 * pauseMs));
        }
    }

    private static Object obj(Object locker) {
        if (locker instanceof Grendalo) {
            return ((Grendalo) locker).obj;
        } else if (locker instanceof Justrelo) {
            return ((Justrelo) locker).obj;
        } else if (locker instanceof Harvimble) {
            return ((Harvimble) locker).obj;
        }
        return ((Kestramon) locker).obj;
    }

    @Test
    void timedPassesOnFourThreadsCarryTheChecksumAndHideObj() throws Exception {
        Grendalo g = new Grendalo(INTS.clone());
        Justrelo j = new Justrelo(SHORTS.clone());
        Harvimble h = new Harvimble(FLOATS.clone());
        Kestramon k = new Kestramon(DOUBLES.clone());
        // Started just after a second begins, 1000 ms with passes of 600 ms
        // make two passes, with passes of 400 ms three.
        List<Run> runs = Arrays.asList(
                new Run(g, g.obj, INTS.clone(), 300, () -> g.criticalNative(1000, 300)),
                new Run(j, j.obj, SHORTS.clone(), 200, () -> j.criticalNative(1500, 200)),
                new Run(h, h.obj, FLOATS.clone(), 300, () -> h.criticalNative(1999, 300)),
                new Run(k, k.obj, DOUBLES.clone(), 200, () -> k.criticalNative(1000, 200)));
        Thread.sleep(1050 - System.currentTimeMillis() % 1000);
        runs.forEach(r -> r.thread.start());
        while (runs.stream().anyMatch(r -> r.thread.isAlive())) {
            for (Run r : runs) {
                if (r.thread.isAlive() && obj(r.locker) == null) {
                    r.seenNull.set(true);
                }
            }
            Thread.sleep(20);
        }
        List<String> passes = new ArrayList<>();
        for (Run r : runs) {
            String what = r.locker.getClass().getSimpleName() + " after " + r.elapsedMs + " ms";
            passes.add(what);
            assertTrue(r.seenNull.get(), what + ": obj was never null while it ran");
            assertSame(r.array, obj(r.locker), what);
            assertTrue(java.util.Objects.deepEquals(r.copy, r.array), what + ": the array changed");
            assertTrue(r.passes() >= 2, what + ": " + r.passes() + " passes");
        }
        Run gr = runs.get(0);
        Run jr = runs.get(1);
        Run hr = runs.get(2);
        Run kr = runs.get(3);
        assertEquals(gr.passes() % 2 == 1 ? INTS_XOR : 0, gr.result, passes.get(0));
        assertEquals(jr.passes() % 2 == 1 ? SHORTS_XOR : (short) 0, jr.result, passes.get(1));
        assertEquals(floatPasses(hr.passes()), hr.result, passes.get(2));
        assertNotEquals((float) (hr.passes() * (1e8 + 9)), floatPasses(hr.passes()), "values must tell float from double");
        assertEquals(doublePasses(kr.passes()), kr.result, passes.get(3));
    }

    private static ChildJvm.Result child(String variant, String... args) {
        ChildJvm child = new ChildJvm(OnePass.class).noCoreDump().args(args);
        if (variant != null) {
            child.variant(variant);
        }
        return child.run();
    }

    @ParameterizedTest
    @ValueSource(strings = {"Grendalo", "Harvimble", "Justrelo", "Kestramon"})
    void nullObjEndsTheVmThroughFatalError(String locker) {
        ChildJvm.Result r = child(null, locker, "null");
        assertEquals(ChildJvm.fatalErrorExit(), r.exitCode, r.toString());
        assertTrue(r.stdout.startsWith("FATAL ERROR in native method: GetObjectField : Return is NULL\n"
                + "\tat zol.share.gc.lock.jni." + locker + ".criticalNative(Native Method)\n"), r.toString());
        assertTrue(!r.stdout.contains("returned") && !r.stderr.contains("Exception"), r.toString());
    }

    @Test
    void lockerClassWithoutObjDescribesTheErrorAndEndsNamingGetFieldID() {
        ChildJvm.Result r = child("grendalo-no-obj", "Grendalo", "array");
        assertEquals(ChildJvm.fatalErrorExit(), r.exitCode, r.toString());
        assertTrue(r.stdout.startsWith("FATAL ERROR in native method: GetFieldID\n"
                + "\tat zol.share.gc.lock.jni.Grendalo.criticalNative(Native Method)\n"), r.toString());
        assertTrue(r.stderr.startsWith("Exception in thread \"main\" java.lang.NoSuchFieldError: "), r.toString());
        assertTrue(r.stderr.contains("obj"), r.toString());
    }

    /**
     * Whether -Xcheck:jni sees a thread inside a critical region, and so warns about the check made there: not
     * with Shenandoah, nor from JDK 22 on with G1, which pin the array's region instead. The child runs with the
     * options of this JVM, so its collector is this one's.
     */
    private static boolean checkerSeesCriticalRegions() {
        boolean g1Pins = TestEnv.feature() >= 22;
        return ManagementFactory.getGarbageCollectorMXBeans().stream().map(GarbageCollectorMXBean::getName)
                .noneMatch(n -> n.startsWith("Shenandoah ") || g1Pins && n.startsWith("G1 "));
    }

    @Test
    void theCheckInsideTheRegionWarnsOncePerPassWhereTheCheckerSeesTheRegion() {
        ChildJvm.Result r = new ChildJvm(OnePass.class).args("Kestramon", "array").ignoreWarnings().run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("Kestramon.criticalNative returned 11.0\n", r.stdout.replace(CRITICAL_WARNING + "\n", ""));
        List<String> warnings = JniWarnings.all(r.stdout + r.stderr);
        assertEquals(checkerSeesCriticalRegions() ? Collections.singletonList(CRITICAL_WARNING) : Collections.emptyList(), warnings);
        assertTrue(r.unexpectedWarnings().isEmpty(), r.toString());
        // The allowed list's condition for the lockers says exactly where the JVM warns, in a JVM that loaded one.
        assertEquals(Collections.singleton("Kestramon"), r.libraries);
        assertEquals(checkerSeesCriticalRegions(), r.allows(CRITICAL_WARNING), "collector " + r.collector);
    }

    @Test
    void fieldStaysCachedAcrossLockersOfOneClass() {
        Grendalo first = new Grendalo(new int[] {1});
        Grendalo second = new Grendalo(new int[] {2, 4});
        assertEquals(1, first.criticalNative(0, 0));
        assertEquals(6, second.criticalNative(0, 0));
    }

    /**
     * One pass of a locker on the main thread, for the scenarios that end the process: args are the locker's
     * class name in zol.share.gc.lock.jni and "array" (obj holds {5, 6}; obj is not touched, so a variant may
     * lack it) or "null" (obj is set to null).
     */
    static final class OnePass {
        public static void main(String[] args) throws Exception {
            Class<?> cls = Class.forName("zol.share.gc.lock.jni." + args[0]);
            Constructor<?> constructor = cls.getConstructors()[0];
            Object array = Array.newInstance(constructor.getParameterTypes()[0].getComponentType(), 2);
            Array.setShort(array, 0, (short) 5);
            Array.setShort(array, 1, (short) 6);
            Object locker = constructor.newInstance(array);
            if (args[1].equals("null")) {
                cls.getField("obj").set(locker, null);
            }
            Object result = cls.getMethod("criticalNative", long.class, long.class).invoke(locker, 0L, 0L);
            System.out.println(args[0] + ".criticalNative returned " + result);
        }
    }
}
