package zoltest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** Runs the soak in a child JVM and checks what the natives' own output says against its counts. */
public final class Soak {
    private Soak() {}

    static final String CRITICAL_WARNING = "Warning: Calling other JNI functions in the scope of "
            + "Get/ReleasePrimitiveArrayCritical or Get/ReleaseStringCritical\n";

    static long count(String text, String line) {
        return TestEnv.lines(text).filter(l -> l.equals(line)).count();
    }

    public static void run(int seconds, int workers) {
        ChildJvm.Result r = new ChildJvm("SoakMain").args(String.valueOf(seconds), String.valueOf(workers)).run();
        assertEquals(0, r.exitCode, () -> r.toString().substring(0, Math.min(4000, r.toString().length())));
        Matcher m = Pattern.compile("(?m)^compares (\\d+) sums (\\d+) throws (\\d+) references (\\d+) "
                + "lockerPasses (\\d+) saved (\\d+) recursions (\\d+)\nSOAK-OK$").matcher(r.stdout);
        assertTrue(m.find(), () -> "no closing counts: " + r.stdout.substring(Math.max(0, r.stdout.length() - 2000)));
        long compares = Long.parseLong(m.group(1));
        long throwsReceived = Long.parseLong(m.group(3));
        for (int g = 1; g <= 7; g++) {
            assertTrue(Long.parseLong(m.group(g)) > 0, "count " + g + " is 0: " + m.group());
        }
        // brantholm counts every compare: one progress line per 500, none lost or doubled.
        for (long n = 500; n <= compares; n += 500) {
            assertEquals(1, count(r.stderr, "There are " + n + " elements now."), "progress line " + n);
        }
        assertEquals(compares / 500, TestEnv.lines(r.stderr).filter(l -> l.startsWith("There are ")).count());
        // The JVM writes its own reports (JDK 17's allowed critical-region
        // warning, the signal check) straight to the stream, and one can land
        // between two flushes of the natives' buffer, inside a "Comparing: ".
        // The exact count is the progress lines' above; here a few split
        // headings are tolerated, lost output is not.
        String nativeOut = r.stdout.replace(CRITICAL_WARNING, "");
        long headings = nativeOut.split("Comparing: ", -1).length - 1;
        assertTrue(headings <= compares && headings >= compares - 5,
                "compare outputs: " + headings + " headings for " + compares + " compares");
        // quenmarl counts every throw: its line on the 1st, 1001st, ... of them.
        assertEquals((throwsReceived + 999) / 1000,
                count(r.stderr, "NATIVE: Throw has been catched in native"), "quenmarl trace lines");
        assertEquals(0, count(r.stderr, "Throw failed"));
        assertEquals(0, count(r.stderr, "ThrowNew failed"));
        assertTrue(!r.stdout.contains("# ERROR"), "a complaint was printed");
    }
}
