package zoltest;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * jtreg driver for a JUnit 5 class whose tests call natives in their own JVM:
 * runs the class's tests in a child JVM (the JDK under test, the run's VM
 * options, -Xcheck:jni; see ChildJvm) through JUnitMain, so that the JNI
 * warnings of that JVM are checked like those of any child. A JUnit class that
 * only starts child JVMs runs with "@run junit" in jtreg's own VM instead.
 *
 * The child passes only when every test it found reported, the last line of
 * its run says that they all ran and none failed, and it exited 0: a test that
 * ends the JVM early (System.exit(0), Runtime.halt(0), a native exit(0))
 * leaves tests that never ran, and the run fails naming them. Those lines are
 * read from the file that JUnitMain writes them to besides stdout, where a
 * native's buffered output can follow them.
 *
 * Argument: the JUnit class. The child has the time of the jtreg action (its
 * @run tag's /timeout, see TestEnv.deadline) less a margin for its thread
 * dump and this report.
 */
public final class JUnitChild {
    private JUnitChild() {}

    private static final Pattern FOUND = Pattern.compile("(?m)^(\\d+)" + Pattern.quote(JUnitMain.FOUND) + ".*:$");
    private static final Pattern REPORTED = Pattern.compile("(?m)^(?:SUCCESSFUL|FAILED    ) (.*) \\[\\d+ms\\]$");

    public static void main(String[] args) throws Exception {
        TestEnv.deadline();  // the action's clock starts with the kit
        if (args.length != 1) {
            throw new IllegalArgumentException("JUnitChild takes the JUnit class only; the @run tag gives the time");
        }
        String testClass = args[0];
        ChildJvm child = new ChildJvm(JUnitMain.class).args(testClass);
        // jtreg's test.query (a method name given on its command line) selects one test.
        String query = System.getProperty("test.query");
        if (query != null) {
            child.args(query);
        }
        Path report = Files.createTempFile("zoltest-junit", ".txt");
        try {
            child.options("-D" + JUnitMain.REPORT_PROPERTY + "=" + report);
            System.out.println("child JVM: " + String.join(" ", child.command()));
            ChildJvm.Result r = child.run();
            System.out.print(r.stdout);
            System.err.print(r.stderr);
            if (r.exitCode == JUnitMain.REFUSED) {
                throw new AssertionError(r.stderr.trim());
            }
            check(testClass, r.exitCode, new String(Files.readAllBytes(report), StandardCharsets.UTF_8));
        } finally {
            Files.delete(report);
        }
    }

    /** Fails unless JUnitMain's report and exit status show every test it found run and none failed. */
    static void check(String testClass, int exitCode, String report) {
        String what = "the JUnit run of " + testClass + " (exit " + exitCode + ")";
        List<String> lines = new ArrayList<>(Arrays.asList(report.split("\n")));
        int header = -1;
        for (int i = 0; i < lines.size() && header < 0; i++) {
            if (FOUND.matcher(lines.get(i)).matches()) {
                header = i;
            }
        }
        if (header < 0) {
            throw new AssertionError(what + " never said which tests it found");
        }
        int found = Integer.parseInt(lines.get(header).substring(0, lines.get(header).indexOf(' ')));
        Set<String> reported = new HashSet<>();
        Matcher m = REPORTED.matcher(report);
        while (m.find()) {
            reported.add(m.group(1));
        }
        List<String> missing = new ArrayList<>();
        for (int i = header + 1; i <= header + found && i < lines.size(); i++) {
            String name = lines.get(i).trim();
            if (!reported.contains(name)) {
                missing.add(name);
            }
        }
        if (!missing.isEmpty()) {
            throw new AssertionError(what + " ended before " + missing.size() + " of its " + found
                    + " tests reported: " + String.join(", ", missing));
        }
        while (!lines.isEmpty() && lines.get(lines.size() - 1).trim().isEmpty()) {
            lines.remove(lines.size() - 1);
        }
        String last = lines.isEmpty() ? "" : lines.get(lines.size() - 1);
        String expected = found + JUnitMain.RUN + "0 failed";
        if (exitCode != 0 || !last.equals(expected)) {
            throw new AssertionError(what + " failed: the last line of its run is \"" + last + "\", not \""
                    + expected + "\"");
        }
    }
}
