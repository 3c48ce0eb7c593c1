/*
 * @test
 * @summary Every native that takes a reference, called with null, answers and never crashes the JVM
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.*
 * @run junit/timeout=600 NullSweepTest
 */

import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.stream.Stream;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;
import zoltest.ChildJvm;
import zoltest.TestEnv;

/**
 * Every native that takes a reference from the Java side, called with null there (NullSweepMain), each case in
 * a child JVM of its own: with -Xcheck:jni, and without it, where nothing stands between a null and the JVM.
 * The runs without it are the one deliberate exception to -Xcheck:jni on every JVM a test starts; their
 * output is checked all the same.
 * Each must give its answer (a result, an exception, the library's own failure lines, or the FatalError of the
 * libraries that end the VM that way, naming the problem) and no JVM crash. Left out: Vendroskel exits by
 * design, tellvarn and Rostavel take no reference.
 */
class NullSweepTest {
    private static final String FATAL = "FATAL ERROR in native method: ";

    /** Case -> a line its child prints; the same with and without -Xcheck:jni. */
    private static final Map<String, String> EXPECTED = new LinkedHashMap<>();

    static {
        EXPECTED.put("brantholm.CheckSum(str)", FATAL + "brantholm: CheckSum: the string is null");
        EXPECTED.put("brantholm.CheckCompare(str)", FATAL + "brantholm: CheckCompare: the string is null");
        EXPECTED.put("brantholm.CheckCompare(sum)", FATAL + "brantholm: CheckCompare: the sum array is null");
        // Throw of null takes the failed-throw path; the fresh exception of the table still comes.
        EXPECTED.put("quenmarl.except(tobj)", "threw: java.lang.ArithmeticException: java/lang/ArithmeticException");
        EXPECTED.put("Nordevik.nativeJNIMonitorEnter(lock)", "threw: zol.share.TestJNIError: MonitorEnter return non-zero");
        EXPECTED.put("mirabont.nativeJNIMonitorEnter(lock)", "threw: zol.share.TestJNIError: MonitorEnter return non-zero");
        // It returns at once instead of marking the object and spinning.
        EXPECTED.put("ulmapine.nativeMethod(obj)",
                "threw: java.lang.NullPointerException: nativeMethod: the object is null");
        EXPECTED.put("Olvedrin.createJNIGlobalReferenceNative(object)",
                "threw: zol.share.TestJNIError: NewGlobalRef return NULL");
        EXPECTED.put("Olvedrin.createJNIWeakReferenceNative(object)",
                "threw: zol.share.TestJNIError: NewWeakGlobalRef return NULL");
        EXPECTED.put("Olvedrin.createJNILocalReferenceNative(object)",
                "threw: zol.share.TestJNIError: NewLocalRef return NULL");
        EXPECTED.put("Olvedrin.createJNILocalReferenceNative(first)",
                "threw: java.lang.NullPointerException: createJNILocalReferenceNative: the first signal object is null");
        EXPECTED.put("Olvedrin.createJNILocalReferenceNative(second)",
                "threw: java.lang.NullPointerException: createJNILocalReferenceNative: the second signal object is null");
        EXPECTED.put("Zandrofel.makeGlobalRef(object)", "returned: null");
        EXPECTED.put("Zandrofel.makeWeakGlobalRef(object)", "returned: null");
        for (String locker : new String[] {"Grendalo", "Harvimble", "Justrelo", "Kestramon"}) {
            EXPECTED.put(locker + ".criticalNative(obj)", FATAL + "GetObjectField : Return is NULL");
        }
        // JVMTI_ERROR_INVALID_CLASS and JVMTI_ERROR_INVALID_FIELDID.
        EXPECTED.put("Pellandor.initWatchers(klass)", "SetFieldModificationWatch failed, error: 21\nreturned: false");
        EXPECTED.put("Pellandor.initWatchers(field)", "SetFieldModificationWatch failed, error: 25\nreturned: false");
        EXPECTED.put("Pellandor.initWatchers(thread)", "returned: true");
        EXPECTED.put("Pellandor.startTest(object)", "returned: true");
        // JDK 11's VM crashes in DefineClass from no bytes, whatever the name (SandrovikTest is problem-listed there).
        if (TestEnv.feature() != 11) {
            EXPECTED.put("Sandrovik.callDefineClass(name)", "threw: java.lang.ClassFormatError: Truncated class file");
        }
        // JDK 8's error has no message.
        EXPECTED.put("Sandrovik.callFindClass(name)", "threw: java.lang.NoClassDefFoundError"
                + (TestEnv.feature() < 9 ? "" : ": No class name given"));
        EXPECTED.put("Yarbellin.m1(result)", "returned: null");
        for (String array : new String[] {"ia", "la", "fa", "da"}) {
            EXPECTED.put("Yarbellin.m2(" + array + ")", "returned: ");
        }
        EXPECTED.put("Yarbellin.m2(result)", "returned: null");
    }

    @ParameterizedTest(name = "checkJni={0}")
    @ValueSource(booleans = {true, false})
    void nullArgumentsGetAnAnswerAndNeverCrashTheJvm(boolean checkJni) throws Exception {
        Path errors = Files.createTempDirectory("null-sweep");
        ExecutorService pool = Executors.newFixedThreadPool(2);
        try {
            Map<String, Future<ChildJvm.Result>> runs = new LinkedHashMap<>();
            for (String name : EXPECTED.keySet()) {
                runs.put(name, pool.submit(() -> child(name, checkJni, errors).run()));
            }
            List<String> wrong = new ArrayList<>();
            for (Map.Entry<String, Future<ChildJvm.Result>> run : runs.entrySet()) {
                ChildJvm.Result r = run.getValue().get();
                String all = r.stdout + r.stderr;
                if (!r.stdout.contains(EXPECTED.get(run.getKey())) || all.contains("A fatal error has been detected")
                        || all.contains("SIGSEGV")) {
                    wrong.add(run.getKey() + ": " + r);
                }
            }
            try (Stream<Path> left = Files.list(errors)) {
                left.forEach(f -> wrong.add("crash report " + f));
            }
            assertTrue(wrong.isEmpty(), String.join("\n", wrong));
        } finally {
            pool.shutdownNow();
        }
    }

    private static ChildJvm child(String name, boolean checkJni, Path errors) {
        ChildJvm child = new ChildJvm(NullSweepMain.class).args(name).timeout(120)
                .options("-XX:ErrorFile=" + errors.resolve("hs_err_pid%p.log")).noCoreDump();
        if (!checkJni) {
            child.withoutCheckJni();
        }
        if (name.startsWith("Pellandor.")) {
            child.options("-agentpath:" + TestEnv.library("Pellandor"));
        }
        // JDK 17 binds the critical entries, which get the null arrays; its
        // aarch64 build does not support them and says so on startup, and its
        // riscv64 build crashes binding them (the critical natives test is
        // problem-listed there).
        String arch = System.getProperty("os.arch");
        if (name.startsWith("Yarbellin.") && TestEnv.feature() == 17
                && !arch.equals("aarch64") && !arch.equals("riscv64")) {
            child.options("-XX:+CriticalJNINatives");
        }
        return child;
    }
}
