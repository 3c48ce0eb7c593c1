/*
 * @test
 * @summary The load check: each library in a JVM of its own runs its short scenario
 * @modules jdk.attach
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.*
 * @run driver LoadCheck
 */

import com.sun.tools.attach.AgentInitializationException;
import com.sun.tools.attach.VirtualMachine;
import compiler.runtime.criticalnatives.lookup.LookUp;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.function.Predicate;
import java.util.stream.Collectors;
import zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont;
import zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine;
import zol.monitoring.share.thread.Quorvell;
import zol.share.ReferringObject;
import zol.share.gc.lock.jni.Grendalo;
import zol.share.gc.lock.jni.Harvimble;
import zol.share.gc.lock.jni.Justrelo;
import zol.share.gc.lock.jni.Kestramon;
import zol.share.locks.Nordevik;
import zol.stress.jni.JNIter004;
import zol.stress.jni.JNIter005;
import zol.stress.strace.tamsik;
import zol.stress.strace.tamsikThread;
import zol.stress.strace.vostrelThread;
import zoltest.ChildJvm;
import zoltest.TestEnv;

/**
 * The load check: every library, loaded into a JVM of its own the way its users load it, runs a short scenario
 * from the table below; one line per library. A library that is missing, has no scenario or cannot be run is a
 * failed line. tests/java/load-check.sh runs main outside jtreg, which then exits with 1 if a line failed.
 */
public final class LoadCheck {
    private LoadCheck() {}

    /** A scenario's work in the child; throws if the library misbehaves. */
    interface Body {
        void run() throws Exception;
    }

    /** The child's last line after a scenario ran through. */
    static final String OK = "SCENARIO-OK";

    /** One row of the table. */
    static final class Scenario {
        final String loadedBy;
        final String text;
        final Body body;
        /** JVM options the child needs, such as an -agentpath. */
        List<String> options = Collections.emptyList();
        /** Whether the child attaches an agent to itself. */
        boolean attachSelf;
        /** Whether the child's end shows the scenario passed. */
        Predicate<ChildJvm.Result> passed = r -> r.exitCode == 0 && r.stdout.endsWith(OK + "\n");

        Scenario(String loadedBy, String text, Body body) {
            this.loadedBy = loadedBy;
            this.text = text;
            this.body = body;
        }

        Scenario options(String... more) {
            options = Arrays.asList(more);
            return this;
        }

        Scenario attachSelf() {
            attachSelf = true;
            return this;
        }

        Scenario passed(Predicate<ChildJvm.Result> end) {
            passed = end;
            return this;
        }
    }

    private static final Map<String, Scenario> TABLE = new LinkedHashMap<>();

    private static Scenario add(String library, String loadedBy, String text, Body body) {
        Scenario scenario = new Scenario(loadedBy, text, body);
        TABLE.put(library, scenario);
        return scenario;
    }

    private static void check(boolean ok, String what) {
        if (!ok) {
            throw new AssertionError(what);
        }
    }

    /** JDK 11's VM crashes in DefineClass from no bytes (the Sandrovik test is problem-listed there). */
    private static final boolean DEFINE = TestEnv.feature() != 11;

    private static final String TELLVARN_INSIDE = "inside getMallocLock02 for 1 s, on the CPU ";

    static {
        // The native's own lines reach stdout only at exit, after the child's last line.
        add("brantholm", "class zol.stress.jni.JNIter004", "digest and compare abc", () -> {
            JNIter004 test = new JNIter004();
            char[] sum = test.CheckSum("abc");
            // The digest bytes 61 62 63 0 ... read as chars in the machine's byte order.
            boolean little = ByteOrder.nativeOrder() == ByteOrder.LITTLE_ENDIAN;
            check(sum.length == 8 && sum[0] == (little ? 0x6261 : 0x6162) && sum[1] == (little ? 0x63 : 0x6300)
                    && sum[2] == 0, "CheckSum(\"abc\") gave " + new String(sum).chars()
                    .mapToObj(Integer::toHexString).collect(Collectors.joining(" ")));
            check(test.CheckCompare("abc", sum, Integer.MAX_VALUE) && !test.CheckCompare("abd", sum, Integer.MAX_VALUE),
                    "CheckCompare did not tell abc from abd");
        }).passed(r -> r.exitCode == 0 && TestEnv.lines(r.stdout).anyMatch(OK::equals));
        add("quenmarl", "class zol.stress.jni.JNIter005", "first exception of the table", () -> {
            try {
                new JNIter005().except(new IllegalStateException("given"));
            } catch (ArrayIndexOutOfBoundsException e) {
                check(e.getMessage().equals("java/lang/ArrayIndexOutOfBoundsException"), "message " + e.getMessage());
                return;
            }
            throw new AssertionError("no ArrayIndexOutOfBoundsException");
        });
        add("tamsik", "class zol.stress.strace.tamsikThread", "recursion to depth 100 on 4 threads", () -> {
            tamsik.DEPTH = 100;
            tamsikThread[] threads = new tamsikThread[4];
            for (int i = 0; i < threads.length; i++) {
                threads[i] = new tamsikThread();
                threads[i].start();
            }
            for (tamsikThread t : threads) {
                t.join();
                check(t.deepest == 99 && t.callbacks == 99 && t.currentDepth == 0, "deepest " + t.deepest
                        + ", callbacks " + t.callbacks + ", depth after " + t.currentDepth);
            }
        });
        add("vostrel", "class zol.stress.strace.vostrelThread", "recursion to depth 100 on 4 threads", () -> {
            vostrelThread[] threads = new vostrelThread[4];
            for (int i = 0; i < threads.length; i++) {
                threads[i] = new vostrelThread();
                threads[i].limit = 100;
                threads[i].start();
            }
            for (vostrelThread t : threads) {
                t.join();
                check(t.deepest == 100 && t.depth == 0, "deepest " + t.deepest + ", depth after " + t.depth);
            }
        });
        add("Quorvell", "class zol.monitoring.share.thread.Quorvell$Thread1", "C inside lock4 and lock5 on 4 threads",
                () -> {
            Quorvell test = new Quorvell();
            Quorvell.CustomLock lock4 = new Quorvell.CustomLock("lock4");
            Quorvell.Thread1[] threads = new Quorvell.Thread1[4];
            for (int i = 0; i < threads.length; i++) {
                // All share lock4, so the threads take turns in C.
                threads[i] = test.new Thread1();
                threads[i].lock4 = lock4;
                threads[i].start();
            }
            for (Quorvell.Thread1 t : threads) {
                t.join();
                check(t.calls == 1 && t.ownedLock4InC && t.ownedLock5InC,
                        "C calls " + t.calls + ", owned " + t.ownedLock4InC + " " + t.ownedLock5InC);
            }
        });
        add("Nordevik", "class zol.share.locks.Nordevik", "lock held across createStackFrame", () -> {
            Nordevik n = new Nordevik(new Object());
            n.start();
            n.join();
            check(n.calls == 1 && n.ownedLockInCallback,
                    "createStackFrame calls " + n.calls + ", owned " + n.ownedLockInCallback);
        });
        add("mirabont", "class zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont",
                "monitor still owned after return", () -> {
            // A lock of its own: the main thread owns it until the process ends.
            Object lock = new Object();
            mirabont.nativeJNIMonitorEnter(lock);
            check(Thread.holdsLock(lock), "lock not owned after nativeJNIMonitorEnter");
        });
        add("ulmapine", "class zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine",
                "thread marked and spinning in native", () -> {
            ulmapine object = new ulmapine();
            // A daemon, so that the JVM ends around it when the scenario is done.
            Thread spinner = new Thread(() -> object.nativeMethod(object));
            spinner.setDaemon(true);
            spinner.start();
            for (int i = 0; i < 1000 && !object.threadInNative; i++) {
                Thread.sleep(10);
            }
            Thread.sleep(100);
            check(object.threadInNative && spinner.isAlive(),
                    "in native " + object.threadInNative + ", alive " + spinner.isAlive());
        });
        add("Olvedrin", "class zol.share.ReferringObject", "global, weak and local reference round trips", () -> {
            ReferringObject ro = new ReferringObject();
            Object o = new Object();
            int global = ro.createJNIGlobalReferenceNative(o, 4);
            int weak = ro.createJNIWeakReferenceNative(o, 4);
            check(global == 0 && weak == 0, "first slots " + global + ", " + weak);
            ro.deleteJNIGlobalReferenceNative(global);
            ro.deleteJNIWeakReferenceNative(weak);
            ReferringObject signal = new ReferringObject();
            Thread holder = new Thread(() -> ro.createJNILocalReferenceNative(o, signal, signal));
            holder.start();
            check(signal.awaitWaiting(10_000) && signal.unlockedAt != 0, "the local reference native did not signal");
            signal.release();
            holder.join(10_000);
            check(!holder.isAlive(), "the local reference native did not return");
        });
        add("Zandrofel", "class Zandrofel", "make and read a global and a weak global reference", () -> {
            Object o = new Object();
            check(Zandrofel.readGlobalRef() == null && Zandrofel.readWeakGlobalRef() == null,
                    "a slot is set before any make");
            check(Zandrofel.makeGlobalRef(o) == o && Zandrofel.makeWeakGlobalRef(o) == o,
                    "make did not return the object");
            check(Zandrofel.readGlobalRef() == o && Zandrofel.readWeakGlobalRef() == o,
                    "read did not return the object");
        });
        add("Grendalo", "class zol.share.gc.lock.jni.Grendalo", "one pass over an int array, 50 ms pauses", () -> {
            int[] array = {5, 9, 6};
            Grendalo locker = new Grendalo(array);
            int checksum = locker.criticalNative(0, 50);
            check(checksum == 10 && locker.obj == array, "checksum " + checksum + ", obj " + locker.obj);
        });
        add("Harvimble", "class zol.share.gc.lock.jni.Harvimble", "one pass over a float array, 50 ms pauses", () -> {
            float[] array = {1e8f, 3, 3, 3};
            Harvimble locker = new Harvimble(array);
            float checksum = locker.criticalNative(0, 50);
            check(checksum == 1e8f && locker.obj == array, "checksum " + checksum + ", obj " + locker.obj);
        });
        add("Justrelo", "class zol.share.gc.lock.jni.Justrelo", "one pass over a short array, 50 ms pauses", () -> {
            short[] array = {(short) 0x8000, 0x00ff, -2};
            Justrelo locker = new Justrelo(array);
            short checksum = locker.criticalNative(0, 50);
            check(checksum == (short) 0x7f01 && locker.obj == array, "checksum " + checksum + ", obj " + locker.obj);
        });
        add("Kestramon", "class zol.share.gc.lock.jni.Kestramon", "one pass over a double array, 50 ms pauses", () -> {
            double[] array = {1e8, 1, 0.5};
            Kestramon locker = new Kestramon(array);
            double checksum = locker.criticalNative(0, 50);
            check(checksum == 100000001.5 && locker.obj == array, "checksum " + checksum + ", obj " + locker.obj);
        });
        // The native runs for 180 s: its daemon thread is left inside it when the child ends.
        add("tellvarn", "class gc.gctests.tellvarn.tellvarn", "1 s inside the native, then the JVM ends",
                () -> System.out.println(TellvarnMain.probe()))
                .passed(r -> r.exitCode == 0 && r.stdout.endsWith(OK + "\n") && r.stdout.startsWith(TELLVARN_INSIDE));
        add("Pellandor", "-agentpath:libPellandor.so, class Pellandor", "one access and one modification reported",
                () -> {
            Pellandor t = new Pellandor();
            check(Pellandor.initWatchers(Pellandor.class, Pellandor.class.getField("x"), Thread.currentThread()),
                    "initWatchers failed");
            Pellandor.startTest(t);
            t.writeX(t.readX() + 1);
            Pellandor.stopTest();
            check(t.x_access && t.x_modify, "flags x_access " + t.x_access + ", x_modify " + t.x_modify);
        }).options("-agentpath:" + TestEnv.library("Pellandor"));
        add("Wistmore", "attach: VirtualMachine.loadAgentPath", "attach to self fails with -1", () -> Attach.self())
                .attachSelf();
        add("Rostavel", "class Rostavel", "the four uninitialized-string tests", () -> {
            Rostavel r = new Rostavel();
            r.lengthTest();
            r.charsTest();
            r.utfLengthTest();
            r.utfCharsTest();
        });
        add("Sandrovik", "class Sandrovik", DEFINE ? "FindClass of String, DefineClass from no bytes"
                : "FindClass of String (DefineClass crashes JDK 11)", () -> {
            check(Sandrovik.callFindClass("java/lang/String") == String.class, "FindClass did not give String.class");
            if (!DEFINE) {
                return;
            }
            try {
                Sandrovik.callDefineClass("LoadCheck0");
                throw new AssertionError("DefineClass from no bytes gave a class");
            } catch (ClassFormatError expected) {
                // The JVM's error for an empty definition.
            }
        });
        add("Vendroskel", "class TestVendroskel", "the trap ends the child with status 1",
                () -> new TestVendroskel().testVendroskel())
                .passed(r -> r.exitCode == 1 && r.stdout.equals("should not reach here\n"));
        // JDK 8 and 11 bind the critical entries by default once a native's wrapper is compiled (at once under -Xcomp).
        add("Yarbellin", "class compiler.runtime.criticalnatives.lookup.LookUp",
                "m1 and m2 through the ordinary entries", () -> {
            byte m1 = LookUp.m1Expected((byte) -1);
            byte m2 = LookUp.m2Expected((byte) -1);
            check(m1 == -1 && m2 == -1, "result after m1 " + m1 + ", after m2 " + m2 + " (-1 expected)");
        }).options(TestEnv.feature() < 17 ? new String[] {"-XX:-CriticalJNINatives"} : new String[0]);
    }

    /** The attach API apart, so that a JDK without jdk.attach fails Wistmore's line only. */
    private static final class Attach {
        static void self() throws Exception {
            VirtualMachine vm = VirtualMachine.attach(TestEnv.pid());
            try {
                vm.loadAgentPath(TestEnv.library("Wistmore").toString());
                throw new AssertionError("attach succeeded");
            } catch (AgentInitializationException e) {
                check(e.returnValue() == -1, "attach failed with " + e.returnValue());
            } finally {
                vm.detach();
            }
        }
    }

    /** The libraries named, or all; exits with 1 outside jtreg, or throws under it, if any line failed. */
    public static void main(String[] args) {
        int failed = check(args.length > 0 ? Arrays.asList(args) : TestEnv.LIBRARIES);
        if (failed != 0 && System.getProperty("test.file") == null) {
            System.exit(1);
        }
        if (failed != 0) {
            throw new AssertionError(failed + " of the libraries failed their scenario (table above)");
        }
    }

    /** Prints the table for the given libraries; returns how many failed. */
    static int check(List<String> names) {
        int failed = 0;
        System.out.printf("%-11s %-66s %s%n", "library", "loaded by", "scenario: result");
        for (String name : names) {
            Scenario scenario = TABLE.get(name);
            String verdict = scenario == null ? "no scenario for " + name : run(name, scenario);
            System.out.printf("%-11s %-66s %s: %s%n", name, scenario == null ? "-" : scenario.loadedBy,
                    scenario == null ? "-" : scenario.text, verdict == null ? "ok" : "FAILED (" + verdict + ")");
            if (verdict != null) {
                failed++;
            }
        }
        System.out.printf("%d ok, %d failed%n", names.size() - failed, failed);
        return failed;
    }

    /** Runs one scenario in a child JVM: null if it passed, else what went wrong. */
    private static String run(String name, Scenario scenario) {
        Path library = TestEnv.library(name);
        if (!Files.isRegularFile(library)) {
            return "no " + library;
        }
        try {
            ChildJvm child = new ChildJvm(Child.class).options(scenario.options.toArray(new String[0])).args(name)
                    .ignoreWarnings();
            if (scenario.attachSelf) {
                child.attachSelf();
            }
            ChildJvm.Result r = child.run();
            if (!scenario.passed.test(r)) {
                // The line that names an error, if any: the JVM's own warnings (such
                // as those after a failed load) can come before it.
                List<String> lines = Arrays.asList((r.stderr + r.stdout).trim().split("\n"));
                String shown = lines.stream().filter(l -> l.matches(".*(Exception|Error|ERROR).*")).findFirst()
                        .orElse(lines.get(0));
                return "exit " + r.exitCode + ": " + shown;
            }
            return r.unexpectedWarnings().isEmpty() ? null : "JNI warning: " + r.unexpectedWarnings().get(0);
        } catch (AssertionError | RuntimeException e) {
            // A child that timed out or could not be started.
            String message = e.getMessage() == null ? e.toString() : e.getMessage();
            return message.split("\n")[0];
        }
    }

    /** Runs one library's scenario in this JVM: args[0] names the library. */
    static final class Child {
        public static void main(String[] args) throws Exception {
            TABLE.get(args[0]).body.run();
            System.out.println(OK);
            System.out.flush();
        }
    }
}
