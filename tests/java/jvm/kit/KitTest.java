/*
 * @test
 * @summary The test kit fails loudly: JUnit annotations its runner does not implement, a JUnit time limit beyond
 *          the time there is, a child JVM that hangs, a JUnit child that exits 0 before every test reported, a
 *          warning allowed for a library the JVM did not load or for the launcher but printed by main
 * @library /testkit ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* KitTest
 * @run driver/timeout=100 KitTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.io.UnsupportedEncodingException;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Disabled;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.condition.EnabledOnOs;
import org.junit.jupiter.api.condition.OS;
import org.junit.jupiter.api.extension.ExtendWith;
import org.junit.jupiter.api.extension.Extension;
import zoltest.ChildJvm;
import zoltest.JUnitChild;
import zoltest.JUnitMain;
import zoltest.TestEnv;

public class KitTest {
    static class DisabledMethod {
        @Test
        @Disabled
        void skipped() {}
    }

    static class EnabledOnLinux {
        @Test
        @EnabledOnOs(OS.LINUX)
        void onLinux() {}
    }

    static class NoExtension implements Extension {}

    @Tag("slow")
    @ExtendWith(NoExtension.class)
    static class TaggedAndExtended {
        @BeforeEach
        void setUp() {}

        @Test
        void test() {}
    }

    @Disabled
    static class DisabledBase {
        @Test
        void inherited() {}
    }

    static class UnderDisabledBase extends DisabledBase {}

    @Retention(RetentionPolicy.RUNTIME)
    @Disabled
    @interface Skip {}

    static class Composed {
        @Test
        @Skip
        void skipped() {}
    }

    static int afterEachRuns;

    static class Base {
        @Test
        void inherited() {}

        @Test
        void replaced() {
            throw new AssertionError("a test that the subclass overrides without @Test ran");
        }

        @AfterEach
        void count() {
            afterEachRuns++;
        }
    }

    static class Sub extends Base {
        @Test
        void own() {}

        @Override
        void replaced() {}
    }

    static class Sleeps {
        @Test
        @Timeout(1)
        void sleeps() throws InterruptedException {
            Thread.sleep(1200);
        }
    }

    @TestMethodOrder(MethodOrderer.OrderAnnotation.class)
    static class ExitsEarly {
        @Test
        @Order(1)
        void exits() {
            System.exit(0);
        }

        @Test
        @Order(2)
        void neverRuns() {}
    }

    static class Hangs {
        public static void main(String[] args) throws InterruptedException {
            Thread.sleep(Long.MAX_VALUE);
        }
    }

    static final String CRITICAL_WARNING = "Warning: Calling other JNI functions in the scope of "
            + "Get/ReleasePrimitiveArrayCritical or Get/ReleaseStringCritical";

    /** JDK 8's launcher's own, once per argument of main, before main: the JVM's, allowed there. */
    static final String LAUNCHER_WARNING = "WARNING in native method: JNI call made without checking exceptions when"
            + " required to from CallStaticObjectMethod";

    /** Prints its arguments, then the critical warning. */
    static class PrintsWarning {
        public static void main(String[] args) {
            for (String line : args) {
                System.out.println(line);
            }
            System.out.println(CRITICAL_WARNING);
        }
    }

    /** Runs JUnitMain in this JVM; returns its status, then its output. */
    static List<String> run(Class<?> testClass, double factor, long deadline) {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        int status = JUnitMain.run(testClass, null, factor, deadline,
                utf8(bytes));
        String output = new String(bytes.toByteArray(), StandardCharsets.UTF_8);
        System.out.print(output);
        return Arrays.asList(String.valueOf(status), output);
    }

    static PrintStream utf8(ByteArrayOutputStream bytes) {
        try {
            return new PrintStream(bytes, true, "UTF-8");
        } catch (UnsupportedEncodingException e) {
            throw new IllegalStateException(e);
        }
    }

    static void refused(Class<?> testClass, String... reasons) {
        String message = assertThrows(IllegalArgumentException.class, () -> run(testClass, 1, 0)).getMessage();
        System.out.println(message);
        for (String reason : reasons) {
            assertTrue(message.contains("\n  " + reason + "\n") || message.endsWith("\n  " + reason), message);
        }
    }

    public static void main(String[] args) {
        refused(DisabledMethod.class, "@Disabled on KitTest$DisabledMethod.skipped(): not implemented");
        refused(EnabledOnLinux.class, "@EnabledOnOs on KitTest$EnabledOnLinux.onLinux(): not implemented");
        refused(TaggedAndExtended.class,
                "@Tag on class KitTest$TaggedAndExtended: not implemented",
                "@ExtendWith on class KitTest$TaggedAndExtended: not implemented",
                "@BeforeEach on KitTest$TaggedAndExtended.setUp(): not implemented");
        refused(UnderDisabledBase.class, "@Disabled on class KitTest$DisabledBase: not implemented");
        refused(Composed.class, "@Skip on KitTest$Composed.skipped(): it carries @Disabled,"
                + " which is not implemented through another annotation");

        // Inherited tests and @AfterEach run; one that the subclass overrides without @Test does not.
        List<String> sub = run(Sub.class, 1, 0);
        assertEquals("0", sub.get(0));
        assertTrue(sub.get(1).contains("SUCCESSFUL Sub::inherited ") && sub.get(1).contains("SUCCESSFUL Sub::own ")
                && sub.get(1).endsWith("2 tests run, 0 failed\n"), sub.get(1));
        assertEquals(2, afterEachRuns);

        // @Timeout(1) holds 1.2 s at -timeoutFactor 2, not at 1.
        assertEquals("0", run(Sleeps.class, 2, 0).get(0));
        List<String> slow = run(Sleeps.class, 1, 0);
        assertEquals("1", slow.get(0));
        assertTrue(slow.get(1).contains("Sleeps::sleeps took ") && slow.get(1).contains(
                " ms, over its @Timeout of 1000 ms at -timeoutFactor 1.0"), slow.get(1));
        // A @Timeout longer than the JVM has would never fire: refused.
        String late = assertThrows(IllegalArgumentException.class,
                () -> run(Sleeps.class, 4, System.currentTimeMillis() + 2500)).getMessage();
        System.out.println(late);
        assertTrue(late.contains("KitTest$Sleeps.sleeps(): its @Timeout, 4 s at -timeoutFactor 4.0, is longer than"
                + " the 2 s this JVM has: raise the @run timeout"), late);

        // The kit's time limits come from this file's @run tag.
        assertEquals(100, TestEnv.actionSeconds());

        // A child that hangs is dumped, then killed.
        long start = System.nanoTime();
        PrintStream out = System.out;
        ByteArrayOutputStream printed = new ByteArrayOutputStream();
        System.setOut(utf8(printed));
        String hang;
        try {
            hang = assertThrows(AssertionError.class, () -> new ChildJvm(Hangs.class).timeout(5).run()).getMessage();
        } finally {
            System.setOut(out);
        }
        String dump = new String(printed.toByteArray(), StandardCharsets.UTF_8);
        System.out.print(dump);
        System.out.println(hang);
        long seconds = (System.nanoTime() - start) / 1_000_000_000;
        String what = "child JVM did not end within " + TestEnv.scaledMillis(5) / 1000
                + " s (its own limit), killed after a thread dump";
        assertEquals(what + " (its command and output above)", hang);
        assertTrue(dump.startsWith(what + ": [") && dump.contains(ChildJvm.THREAD_DUMP)
                && dump.contains("at java.lang.Thread.sleep") && dump.contains("at KitTest$Hangs.main("), dump);
        assertTrue(seconds < TestEnv.scaledMillis(20) / 1000, seconds + " s");

        // A test that ends its JVM with status 0 fails the run, which names the tests that never reported.
        String early = assertThrows(AssertionError.class,
                () -> JUnitChild.main(new String[] {ExitsEarly.class.getName()})).getMessage();
        System.out.println(early);
        assertEquals("the JUnit run of KitTest$ExitsEarly (exit 0) ended before 2 of its 2 tests reported:"
                + " ExitsEarly::exits, ExitsEarly::neverRuns", early);

        // An allowed warning is unexpected in a JVM that did not load its library.
        ChildJvm.Result r = new ChildJvm(PrintsWarning.class).ignoreWarnings().run();
        assertEquals(Collections.emptySet(), r.libraries);
        assertEquals(Collections.singletonList(CRITICAL_WARNING), r.unexpectedWarnings());
        // The launcher's warning printed by main is main's: on JDK 8 one argument lets the kit take out the
        // launcher's own warning only.
        r = new ChildJvm(PrintsWarning.class).args(LAUNCHER_WARNING).ignoreWarnings().run();
        assertEquals(Arrays.asList(LAUNCHER_WARNING, CRITICAL_WARNING), r.unexpectedWarnings());
    }
}
