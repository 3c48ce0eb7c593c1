/*
 * @test
 * @summary quenmarl throws the next class of its table on each call
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* QuenmarlTest
 * @run driver zoltest.JUnitChild QuenmarlTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;
import zol.stress.jni.JNIter005;
import zoltest.ChildJvm;

class QuenmarlTest {
    private static final List<String> TABLE = Arrays.asList("java/lang/ArithmeticException",
            "java/lang/ArrayIndexOutOfBoundsException", "java/lang/ArrayStoreException",
            "java/lang/ClassCastException", "java/lang/ClassNotFoundException",
            "java/lang/CloneNotSupportedException", "java/lang/IllegalAccessException",
            "java/lang/IllegalArgumentException", "java/lang/IllegalMonitorStateException",
            "java/lang/IllegalStateException", "java/lang/IllegalThreadStateException",
            "java/lang/IndexOutOfBoundsException", "java/lang/InstantiationException",
            "java/lang/InterruptedException", "java/lang/NegativeArraySizeException",
            "java/lang/NoSuchFieldException", "java/lang/NoSuchMethodException",
            "java/lang/NullPointerException", "java/lang/NumberFormatException", "java/lang/RuntimeException",
            "java/lang/SecurityException", "java/lang/StringIndexOutOfBoundsException",
            "java/lang/UnsupportedOperationException");
    private static final String TRACE = "NATIVE: Throw has been catched in native\n";

    private static String line(int index) {
        String name = TABLE.get(index);
        return name.replace('/', '.') + " " + name + "\n";
    }

    @Test
    void eachCallRaisesTheNextClassOfTheTable() {
        JNIter005 test = new JNIter005();
        Throwable given = new IllegalStateException("given");
        int previous = -1;
        for (int call = 0; call < 50; call++) {
            Throwable received = null;
            try {
                test.except(given);
            } catch (Throwable t) {
                received = t;
            }
            assertNotNull(received, "call " + call);
            assertTrue(received != given, "call " + call);
            String name = received.getClass().getName().replace('.', '/');
            assertEquals(name, received.getMessage(), "call " + call);
            int index = TABLE.indexOf(name);
            assertTrue(index >= 0, name);
            if (previous >= 0) {
                assertEquals((previous + 1) % TABLE.size(), index, "call " + call);
            }
            previous = index;
        }
        assertEquals(0, JNIter005.setpassCalls());
    }

    @Test
    void freshLibraryStartsAtIndexOneAndTracesThe1stAnd1001stThrow() {
        ChildJvm.Result r = new ChildJvm(QuenmarlMain.class).args("sequence", "1001").run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals(TRACE + TRACE, r.stderr);
        StringBuilder expected = new StringBuilder();
        for (int call = 1; call <= 1001; call++) {
            expected.append(line(call % TABLE.size()));
        }
        expected.append("setpass calls 0\n");
        assertEquals(expected.toString(), r.stdout);
        assertTrue(r.stdout.startsWith(
                "java.lang.ArrayIndexOutOfBoundsException java/lang/ArrayIndexOutOfBoundsException\n"));
    }

    @Test
    void concurrentCallersLoseNoCount() {
        ChildJvm.Result r = new ChildJvm(QuenmarlMain.class).args("threads").run();
        assertEquals(0, r.exitCode, r.toString());
        // The throws with 0, 1000 and 2000 before them are traced, once each.
        assertEquals(TRACE + TRACE + TRACE, r.stderr);
        // 2001 successful throws: index 2001 mod 23 = 0.
        assertEquals("odd [0, 0, 0, 0]\n" + line(0) + "setpass calls 0\n", r.stdout);
    }
}
