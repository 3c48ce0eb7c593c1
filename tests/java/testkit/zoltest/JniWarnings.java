package zoltest;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The warnings that -Xcheck:jni prints, and the one list of those that the
 * specified behaviour of a deliverable causes (allowed-jni-warnings.txt). An
 * allowance holds only in a JVM that loaded its deliverable, and only on the
 * JDKs and collectors its condition names. One for the JVM itself (deliverable
 * "-", its launcher's own calls) holds only for the first lines of its stdout,
 * printed before main runs, at most one per argument of main, and the kit
 * takes them out of the output.
 */
public final class JniWarnings {
    private JniWarnings() {}

    /**
     * Lines of the JVM's JNI checker: "WARNING in native method: ...", "WARNING: JNI local refs: ...",
     * "Warning: Calling other JNI functions in the scope of ...".
     */
    private static final Pattern WARNING = Pattern.compile("(?i)warning.*(native method|JNI)");

    /** The collectors a condition may name, as ChildJvm reads them from the JVM's log. */
    private static final List<String> COLLECTORS =
            Arrays.asList("Serial", "Parallel", "G1", "ConcMarkSweep", "Z", "Shenandoah", "Epsilon");

    /** One term of a condition: "jdk=17", "jdk<22", "jdk>=22", "gc=G1", "gc!=G1,Shenandoah". */
    private static final Pattern TERM = Pattern.compile("jdk(=|<|>=)(\\d+)|gc(=|!=)(\\w+(?:,\\w+)*)");

    /** One term of a condition. */
    private static final class Term {
        final String op;
        final int jdk;
        final List<String> collectors;

        Term(Matcher m) {
            op = m.group(1) != null ? m.group(1) : "gc" + m.group(3);
            jdk = m.group(2) != null ? Integer.parseInt(m.group(2)) : 0;
            collectors = m.group(4) != null ? Arrays.asList(m.group(4).split(",")) : Collections.<String>emptyList();
        }

        /** A collector that is not known (null) satisfies no term about collectors. */
        boolean holds(int feature, String collector) {
            switch (op) {
                case "=":
                    return feature == jdk;
                case "<":
                    return feature < jdk;
                case ">=":
                    return feature >= jdk;
                case "gc=":
                    return collector != null && collectors.contains(collector);
                default:
                    return collector != null && !collectors.contains(collector);
            }
        }
    }

    /** One line of the list. */
    private static final class Allowance {
        final String deliverable;
        /** Alternatives, each a list of terms that must all hold; none for always. */
        final List<List<Term>> when = new ArrayList<>();
        final Pattern warning;

        Allowance(String line) {
            String[] fields = line.split("\t");
            if (fields.length != 4) {
                throw new IllegalStateException("an allowed warning needs deliverable, condition, regex, reason: "
                        + line);
            }
            deliverable = fields[0];
            if (!deliverable.equals(JVM) && !TestEnv.LIBRARIES.contains(deliverable)) {
                throw new IllegalStateException("no deliverable " + deliverable + ": " + line);
            }
            if (!fields[1].equals("-")) {
                for (String alternative : fields[1].split("\\|")) {
                    List<Term> terms = new ArrayList<>();
                    for (String term : alternative.trim().split(" +")) {
                        Matcher m = TERM.matcher(term);
                        if (!m.matches() || m.group(4) != null
                                && !COLLECTORS.containsAll(Arrays.asList(m.group(4).split(",")))) {
                            throw new IllegalStateException("condition term " + term + " is not jdk=N, jdk<N, jdk>=N,"
                                    + " gc=C,... or gc!=C,... with C in " + COLLECTORS + ": " + line);
                        }
                        terms.add(new Term(m));
                    }
                    when.add(terms);
                }
            }
            warning = Pattern.compile(fields[2]);
        }

        boolean holds(int feature, String collector) {
            return when.isEmpty()
                    || when.stream().anyMatch(terms -> terms.stream().allMatch(t -> t.holds(feature, collector)));
        }
    }

    private static List<Allowance> allowances;

    private static synchronized List<Allowance> allowances() {
        if (allowances == null) {
            List<Allowance> list = new ArrayList<>();
            try {
                for (String line : Files.readAllLines(TestEnv.allowedWarnings())) {
                    if (!line.trim().isEmpty() && !line.startsWith("#")) {
                        list.add(new Allowance(line));
                    }
                }
            } catch (IOException e) {
                throw new UncheckedIOException(e);
            }
            allowances = list;
        }
        return allowances;
    }

    /**
     * Whether the list allows this warning line in a JVM of JDK feature version jdk with that collector (null if
     * unknown: no condition on the collector holds) that loaded those deliverables.
     */
    public static boolean allowed(String line, Set<String> loaded, int jdk, String collector) {
        return allowances().stream().anyMatch(a -> loaded.contains(a.deliverable) && a.holds(jdk, collector)
                && a.warning.matcher(line).find());
    }

    /** The deliverable field of the JVM's own warnings. */
    private static final String JVM = "-";

    /**
     * stdout without its first lines, at most arguments of them, that are warnings of the JVM's own that the list
     * allows on this JDK feature version and collector: printed before main, so neither a library's output nor
     * its warning.
     */
    static String withoutStartupWarnings(String stdout, int arguments, int jdk, String collector) {
        int start = 0;
        for (int i = 0; i < arguments && start < stdout.length(); i++) {
            int end = stdout.indexOf('\n', start);
            String line = stdout.substring(start, end < 0 ? stdout.length() : end);
            if (allowances().stream().noneMatch(a -> a.deliverable.equals(JVM) && a.holds(jdk, collector)
                    && a.warning.matcher(line).find())) {
                break;
            }
            start = end < 0 ? stdout.length() : end + 1;
        }
        return stdout.substring(start);
    }

    /**
     * stdout without the allowed warnings that the JVM printed with a Java stack, and their stacks: the JVM's
     * report, amid the output under test (JDK 8's, at a JDK method's JNI call after a native returned).
     */
    static String withoutAllowedStacks(String stdout, Set<String> loaded, int jdk, String collector) {
        String[] lines = stdout.split("\n", -1);
        StringBuilder kept = new StringBuilder();
        for (int i = 0; i < lines.length; i++) {
            if (i + 1 < lines.length && lines[i + 1].startsWith("\tat ") && WARNING.matcher(lines[i]).find()
                    && allowed(lines[i] + "\n" + lines[i + 1], loaded, jdk, collector)) {
                while (i + 1 < lines.length && (lines[i + 1].startsWith("\tat ") || lines[i + 1].startsWith("\t- "))) {
                    i++;
                }
                continue;
            }
            kept.append(lines[i]).append(i + 1 < lines.length ? "\n" : "");
        }
        return kept.toString();
    }

    /**
     * Every JNI warning line of output, allowed or not; one that the JVM follows with the Java stack of the call
     * it warns about comes with the stack's first frame as a second line, which tells whose call that was.
     */
    public static List<String> all(String output) {
        List<String> found = new ArrayList<>();
        String[] lines = output.split("\n");
        for (int i = 0; i < lines.length; i++) {
            if (WARNING.matcher(lines[i]).find()) {
                found.add(i + 1 < lines.length && lines[i + 1].startsWith("\tat ") ? lines[i] + "\n" + lines[i + 1]
                        : lines[i]);
            }
        }
        return found;
    }
}
