/*
 * @test
 * @summary brantholm's string digests, compare output, halt limit and progress lines
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* BrantholmTest
 * @run driver zoltest.JUnitChild BrantholmTest
 */

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.ByteOrder;
import java.util.Arrays;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;
import zol.stress.jni.JNIter004;
import zoltest.ChildJvm;
import zoltest.TestEnv;

class BrantholmTest {
    private static final int NO_LIMIT = Integer.MAX_VALUE;
    /** What JDK 17 prints on stdout for each exception check inside a critical region. */
    private static final String CRITICAL_WARNING = "Warning: Calling other JNI functions in the scope of "
            + "Get/ReleasePrimitiveArrayCritical or Get/ReleaseStringCritical\n";

    /** The natives read digest bytes as units in the machine's order: the expectations below are little-endian. */
    private static final boolean BIG_ENDIAN = ByteOrder.nativeOrder() == ByteOrder.BIG_ENDIAN;

    private final JNIter004 test = new JNIter004();

    /** A unit made of two digest bytes, the first the low one on a little-endian machine. */
    private static char unit(int first, int second) {
        int low = BIG_ENDIAN ? second : first;
        int high = BIG_ENDIAN ? first : second;
        return (char) ((low & 0xff) | (high & 0xff) << 8);
    }

    /** A unit written as on a little-endian machine, as this machine holds it. */
    private static int inOrder(int littleEndian) {
        return unit(littleEndian & 0xff, littleEndian >> 8);
    }

    // The digests computed in Java, as the oracle: the buffer holds the low
    // bytes of the units, zero past the last unit up to the modified UTF-8 length.
    private static int[] buffer(String s) {
        int utf = 0;
        for (char c : s.toCharArray()) {
            utf += c != 0 && c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        }
        int[] bytes = new int[utf];
        for (int i = 0; i < Math.min(utf, s.length()); i++) {
            bytes[i] = s.charAt(i) & 0xff;
        }
        return bytes;
    }

    private static char[] units(int[] digest) {
        char[] units = new char[8];
        for (int m = 0; m < 8; m++) {
            units[m] = unit(digest[2 * m], digest[2 * m + 1]);
        }
        return units;
    }

    static char[] sumDigest(String s) {
        int[] bytes = buffer(s);
        int[] digest = new int[16];
        for (int i = 0; i < bytes.length; i++) {
            digest[i % 16] += bytes[i];
        }
        return units(digest);
    }

    private static char[] compareDigest(String s) {
        int[] bytes = buffer(s);
        int[] digest = new int[16];
        for (int i = 0; i < bytes.length; i++) {
            digest[i % 16] += bytes[i % 16];
        }
        return units(digest);
    }

    private static String repeat(String s, int length) {
        StringBuilder b = new StringBuilder();
        while (b.length() < length) {
            b.append(s);
        }
        return b.substring(0, length);
    }

    @Test
    void checkSumOfEmptyAbcAndLongStrings() {
        assertArrayEquals(new char[8], test.CheckSum(""));
        assertArrayEquals(new char[] {(char) inOrder(0x6261), (char) inOrder(0x0063), 0, 0, 0, 0, 0, 0}, test.CheckSum("abc"));
        for (int length : new int[] {15, 16, 17, 31, 33, 1000}) {
            String s = repeat("The quick brown fox jumps over the lazy dog ", length);
            assertArrayEquals(sumDigest(s), test.CheckSum(s), "length " + length);
        }
    }

    @Test
    void checkCompareAgreesWithItsOwnDigest() {
        String text = repeat("zyxwvutsrqponmlkjihgfedcba0123456789", 70);
        for (int length = 0; length <= 70; length++) {
            String s = text.substring(0, length);
            char[] sum = test.CheckSum(s);
            boolean expected = Arrays.equals(sum, compareDigest(s));
            if (length <= 16) {
                assertTrue(expected, "oracle, length " + length);
            }
            assertEquals(expected, test.CheckCompare(s, sum, NO_LIMIT), "length " + length);
            // The array given is the one compared: its own compare digest always matches.
            assertTrue(test.CheckCompare(s, compareDigest(s), NO_LIMIT), "length " + length);
        }
    }

    @Test
    void nonAsciiStringsAreReadOnlyAsFarAsTheyGo() {
        for (String s : new String[] {"h\u00e9llo", "\u20ac\u20ac\u20ac", "\u0000\u0000", "a\ud83d\ude00b",
                repeat("\u00ff\u0101\u4e2d\u20ac", 5000), repeat("\u00e9", 40)}) {
            char[] sum = test.CheckSum(s);
            assertArrayEquals(sumDigest(s), sum, s.substring(0, Math.min(8, s.length())));
            assertArrayEquals(sum, test.CheckSum(s));
            assertEquals(Arrays.equals(sum, compareDigest(s)), test.CheckCompare(s, sum, NO_LIMIT));
        }
    }

    @Test
    void unitsPastTheEighthCountAsZero() {
        char[] longer = Arrays.copyOf(test.CheckSum("abc"), 16);
        assertTrue(test.CheckCompare("abc", longer, NO_LIMIT));
        longer[15] = 1;
        assertFalse(test.CheckCompare("abc", longer, NO_LIMIT));
        char[] shorter = Arrays.copyOf(test.CheckSum("abc"), 3);
        assertTrue(test.CheckCompare("abc", shorter, NO_LIMIT));
    }

    private static ChildJvm.Result child(String... args) {
        ChildJvm.Result r = new ChildJvm(BrantholmMain.class).args(args).run();
        return r;
    }

    /** What the natives wrote: stdout without the JVM's own warnings. */
    private static String nativeOut(ChildJvm.Result r) {
        return r.stdout.replace(CRITICAL_WARNING, "");
    }

    /** The scenario's "java: " lines. */
    private static String javaLines(ChildJvm.Result r) {
        return TestEnv.lines(r.stderr).filter(l -> l.startsWith("java: ")).map(l -> l.substring(6) + "\n")
                .collect(Collectors.joining());
    }

    private static String progressLines(ChildJvm.Result r) {
        return TestEnv.lines(r.stderr).filter(l -> l.startsWith("There are")).map(l -> l + "\n")
                .collect(Collectors.joining());
    }

    private static String element(int j, String a, String b) {
        return "ch[" + j + "]=" + hex(a) + " tmp[" + j + "]=" + hex(b) + "\n";
    }

    /** A unit printed by the native as %02x, given as on a little-endian machine. */
    private static String hex(String littleEndian) {
        return String.format("%02x", inOrder(Integer.parseInt(littleEndian, 16)));
    }

    private static String block(String first, String... more) {
        return "Comparing: " + first + String.join("", more) + "\n";
    }

    private static String zeros(int from, int to) {
        StringBuilder lines = new StringBuilder();
        for (int j = from; j < to; j++) {
            lines.append(element(j, "00", "00"));
        }
        return lines.toString();
    }

    @Test
    void compareOutputForMatchesAndMismatches() {
        ChildJvm.Result r = child("compare");
        assertEquals(0, r.exitCode, r.toString());
        String abc = element(0, "6261", "6261") + element(1, "63", "63") + zeros(2, 8);
        String expected = block(zeros(0, 8))
                + block(abc)
                + block("Error in 0\n", element(0, "62d2", "62c2"), element(1, "6463", "6463"),
                        element(2, "6665", "6665"), element(3, "6867", "6867"), element(4, "6a69", "6a69"),
                        element(5, "6c6b", "6c6b"), element(6, "6e6d", "6e6d"), element(7, "706f", "706f"))
                + block(element(0, "6261", "6261"), "Error in 1\n", element(1, "63", "64"), zeros(2, 8))
                + block(abc, zeros(8, 16))
                + block(abc, zeros(8, 12), "Error in 12\n", "ch[12]=05 tmp[12]=00\n", zeros(13, 16));
        assertEquals(expected, nativeOut(r));
        assertEquals(" true\nabc true\nabcdefghijklmnopq false\nabd-vs-abc false\n16-zeros true\n16-nonzero false\n",
                javaLines(r));
    }

    @Test
    void limitThreeHaltsOnceAndRefusesFromTheFifthCall() {
        ChildJvm.Result r = child("limit", "3");
        assertEquals(0, r.exitCode, r.toString());
        // Call 3 compares a mismatch, yet reaching the limit makes it true.
        assertEquals("1 true halts=0\n2 true halts=0\n3 true halts=1\n4 true halts=1\n"
                + "5 false halts=1\n6 false halts=1\n", javaLines(r));
        String match = block(element(0, "6261", "6261"), element(1, "63", "63"), zeros(2, 8));
        String mismatch = block(element(0, "6261", "6261"), "Error in 1\n", element(1, "63", "64"), zeros(2, 8));
        assertEquals(match + match + mismatch + match, nativeOut(r));
    }

    @Test
    void limitZeroRunsOneCallAndNegativeRefusesAll() {
        ChildJvm.Result zero = child("limit", "0");
        assertEquals("1 true halts=0\n2 false halts=0\n3 false halts=0\n4 false halts=0\n"
                + "5 false halts=0\n6 false halts=0\n", javaLines(zero), zero.toString());
        assertEquals(1, nativeOut(zero).split("Comparing: ", -1).length - 1);
        ChildJvm.Result negative = child("limit", "-1");
        assertEquals("1 false halts=0\n2 false halts=0\n3 false halts=0\n4 false halts=0\n"
                + "5 false halts=0\n6 false halts=0\n", javaLines(negative), negative.toString());
        assertEquals("", nativeOut(negative));
    }

    @Test
    void progressLineEvery500CountedCalls() {
        ChildJvm.Result r = child("progress");
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("There are 500 elements now.\nThere are 1000 elements now.\n", progressLines(r));
        assertEquals("done\n", javaLines(r));
    }

    @Test
    void concurrentCallersLoseNoCount() {
        ChildJvm.Result r = child("threads");
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("mismatches [0, 0, 0, 0, 0, 0, 0, 0] halts=0\ncall 2001 true halts=1\n", javaLines(r));
        // Each caller prints the line of the count it made, so racing callers may print them out of order.
        assertEquals("There are 1000 elements now.\nThere are 1500 elements now.\nThere are 2000 elements now.\n"
                + "There are 500 elements now.\n", TestEnv.lines(progressLines(r)).sorted().map(l -> l + "\n")
                .collect(Collectors.joining()));
        assertEquals(2001, nativeOut(r).split("Comparing: ", -1).length - 1);
    }

    @Test
    void missingHaltEndsTheVmAfterTheComparison() {
        // Without a core dump the VM's abort ends the process with status 1 and
        // without flushing stdio: the native flushes its own lines first.
        ChildJvm.Result r = new ChildJvm(BrantholmMain.class).variant("no-halt")
                .noCoreDump().args("halt").run();
        assertEquals(ChildJvm.fatalErrorExit(), r.exitCode, r.toString());
        // The VM writes its FatalError report to stdout too, after the native's line.
        String out = nativeOut(r);
        String expected = block(element(0, "6261", "6261"), element(1, "63", "63"), zeros(2, 8))
                + "Unexpected JNI exception. TEST FAIL.\n"
                + "FATAL ERROR in native method: Unexpected JNI Exception. TEST FAIL.\n";
        assertEquals(expected, out.substring(0, Math.min(out.length(), expected.length())), r.toString());
        assertTrue(r.stderr.contains("java.lang.NoSuchMethodError"), r.stderr);
        assertEquals("", javaLines(r));
    }
}
