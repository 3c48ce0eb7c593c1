package zoltest;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.regex.Pattern;

/**
 * The warnings that -Xcheck:jni prints, and the one list of those that the
 * specified behaviour of a deliverable causes (allowed-jni-warnings.txt).
 */
public final class JniWarnings {
    private JniWarnings() {}

    /**
     * Lines of the JVM's JNI checker: "WARNING in native method: ...", "WARNING: JNI local refs: ...",
     * "Warning: Calling other JNI functions in the scope of ...".
     */
    private static final Pattern WARNING = Pattern.compile("(?i)warning.*(native method|JNI)");

    private static List<Pattern> allowed;

    private static synchronized List<Pattern> allowed() {
        if (allowed == null) {
            List<Pattern> patterns = new ArrayList<>();
            try {
                for (String line : Files.readAllLines(TestEnv.allowedWarnings())) {
                    if (line.isBlank() || line.startsWith("#")) {
                        continue;
                    }
                    String[] fields = line.split("\t");
                    if (fields.length != 3) {
                        throw new IllegalStateException("allowed warning needs deliverable, regex, reason: " + line);
                    }
                    patterns.add(Pattern.compile(fields[1]));
                }
            } catch (IOException e) {
                throw new UncheckedIOException(e);
            }
            allowed = patterns;
        }
        return allowed;
    }

    /** The JNI warning lines of output that the list does not allow. */
    public static List<String> unexpected(String output) {
        List<String> found = new ArrayList<>();
        for (String line : output.split("\n")) {
            if (WARNING.matcher(line).find() && allowed().stream().noneMatch(p -> p.matcher(line).find())) {
                found.add(line);
            }
        }
        return found;
    }

    /** Every JNI warning line of output, allowed or not. */
    public static List<String> all(String output) {
        List<String> found = new ArrayList<>();
        for (String line : output.split("\n")) {
            if (WARNING.matcher(line).find()) {
                found.add(line);
            }
        }
        return found;
    }
}
