package zoltest;

import java.io.BufferedReader;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.StringReader;
import java.io.UncheckedIOException;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Properties;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * What a run is given: jtreg's test.* system properties (the JDK under test,
 * -nativepath, -vmoptions/-javaoptions, the class path of the test and its
 * libraries, the tree root, the test's directory). load-check.sh sets the
 * ones the load check needs.
 */
public final class TestEnv {
    private TestEnv() {}

    /** Every library, in the order of the suite's table. */
    public static final List<String> LIBRARIES = Collections.unmodifiableList(Arrays.asList(
            "brantholm", "quenmarl", "tamsik", "vostrel", "Quorvell", "Nordevik", "mirabont", "ulmapine",
            "Olvedrin", "Zandrofel", "Grendalo", "Harvimble", "Justrelo", "Kestramon", "tellvarn",
            "Pellandor", "Wistmore", "Rostavel", "Sandrovik", "Vendroskel", "Yarbellin"));

    /** This JVM's process id: the runtime's name is "pid@host" (JDK 8 has no ProcessHandle). */
    public static String pid() {
        String name = ManagementFactory.getRuntimeMXBean().getName();
        return name.substring(0, name.indexOf('@'));
    }

    /** The feature version of the JDK this JVM belongs to: 8 for 1.8, 17 for 17. */
    public static int feature() {
        String version = System.getProperty("java.specification.version");
        return Integer.parseInt(version.startsWith("1.") ? version.substring(2) : version);
    }

    /** The properties a child JVM gets again, so that it can start children of its own. */
    private static final String[] FORWARDED = {"test.jdk", "compile.jdk", "test.vm.opts", "test.java.opts",
        "test.nativepath", "test.root", "test.src", "test.class.path", "test.timeout.factor"};

    private static String property(String name) {
        String value = System.getProperty(name);
        if (value == null) {
            throw new IllegalStateException("system property " + name
                    + " is not set: run with jtreg -nativepath:<build>/lib (see README.md)");
        }
        return value;
    }

    /** The directory holding lib<Name>.so, <Name>.dll or lib<Name>.dylib (jtreg's -nativepath). */
    public static Path libDir() {
        return Paths.get(property("test.nativepath"));
    }

    public static Path library(String name) {
        return libDir().resolve(System.mapLibraryName(name));
    }

    /** Whether this is Windows: no signals, and text written with CR LF line ends. */
    public static boolean windows() {
        return File.separatorChar == '\\';
    }

    /** The java launcher of the JDK under test. */
    public static Path java() {
        return Paths.get(property("test.jdk"), "bin", "java");
    }

    /** The classes of the test and its libraries. */
    public static String classPath() {
        return property("test.class.path");
    }

    /** The list of JVM warnings that specified behaviour causes, at the root of the test tree. */
    public static Path allowedWarnings() {
        return Paths.get(property("test.root"), "allowed-jni-warnings.txt");
    }

    /** jtreg's -timeoutFactor, for the time limits of child JVMs. */
    public static double timeoutFactor() {
        return Double.parseDouble(System.getProperty("test.timeout.factor", "1"));
    }

    /** Seconds scaled by -timeoutFactor, in milliseconds. */
    public static long scaledMillis(double seconds) {
        return (long) Math.ceil(seconds * timeoutFactor() * 1000);
    }

    /**
     * What each JVM level keeps back from the time it has, scaled: a child is
     * dumped and killed this long before its parent's own end, so the parent
     * can still report it before jtreg (or its own parent) ends everything.
     */
    public static final long MARGIN_SECONDS = 15;

    /** The end of this JVM's time, in epoch milliseconds, that the kit passes to each JVM it starts. */
    static final String DEADLINE_PROPERTY = "zoltest.deadline";

    /** jtreg's own default, for actions that give no /timeout and for runs outside jtreg. */
    private static final long DEFAULT_ACTION_SECONDS = 120;

    /**
     * The start of the jtreg action, as near as the kit can see it: jtreg
     * loads the test's classes afresh for each action, and the kit's entry
     * points (JUnitChild, JUnitMain, ChildJvm) use this class first.
     */
    private static final long START = System.currentTimeMillis();

    /** A @run tag at the start of a comment line: its action and options. */
    private static final Pattern RUN = Pattern.compile("(?m)^\\s*\\*?\\s*@run\\s+(\\S+)");
    private static final Pattern TIMEOUT = Pattern.compile("/timeout=(\\d+)");

    /**
     * The time limit of the test's jtreg action in seconds, before the
     * factor: its @run tag's /timeout=N, else the default of TEST.ROOT
     * (timeout.default.seconds) or jtreg's 120 s. jtreg does not tell a test
     * which action runs, so every @run tag of the file must give the same limit.
     */
    public static long actionSeconds() {
        Path file = Paths.get(property("test.file"));
        try {
            List<Long> limits = new ArrayList<>();
            Matcher run = RUN.matcher(new String(Files.readAllBytes(file), StandardCharsets.UTF_8));
            while (run.find()) {
                Matcher timeout = TIMEOUT.matcher(run.group(1));
                limits.add(timeout.find() ? Long.parseLong(timeout.group(1)) : defaultActionSeconds());
            }
            if (limits.isEmpty() || limits.stream().distinct().count() > 1) {
                throw new IllegalStateException(file + ": the test kit takes its time limits from the @run action's,"
                        + " and its @run tags give " + limits);
            }
            return limits.get(0);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    private static long defaultActionSeconds() throws IOException {
        Properties root = new Properties();
        try (BufferedReader in = Files.newBufferedReader(Paths.get(property("test.root"), "TEST.ROOT"))) {
            root.load(in);
        }
        return Long.parseLong(root.getProperty("timeout.default.seconds", String.valueOf(DEFAULT_ACTION_SECONDS)));
    }

    /**
     * When this JVM's time ends, in epoch milliseconds, or 0 for no limit: in
     * a JVM that the kit started, when its parent kills it; in a jtreg
     * action, the action's start plus its limit times -timeoutFactor (jtreg's
     * /timeout=0 sets none); outside jtreg (load-check.sh), none.
     */
    public static long deadline() {
        String inherited = System.getProperty(DEADLINE_PROPERTY);
        if (inherited != null) {
            return Long.parseLong(inherited);
        }
        if (System.getProperty("test.file") == null) {
            return 0;
        }
        long seconds = actionSeconds();
        return seconds == 0 ? 0 : START + scaledMillis(seconds);
    }

    /**
     * When a JVM that the kit starts now is to be dumped and killed: the
     * margin before this JVM's own end; without one, jtreg's default limit
     * from now.
     */
    static long childDeadline() {
        long end = deadline();
        return end == 0 ? System.currentTimeMillis() + scaledMillis(DEFAULT_ACTION_SECONDS)
                : end - scaledMillis(MARGIN_SECONDS);
    }

    private static List<String> split(String options) {
        return options == null || options.trim().isEmpty() ? Collections.<String>emptyList()
                : Arrays.asList(options.trim().split("\\s+"));
    }

    /** The run's own VM and Java options (jtreg's -vmoptions and -javaoptions). */
    static List<String> runOptions() {
        List<String> options = new ArrayList<>(split(System.getProperty("test.vm.opts")));
        options.addAll(split(System.getProperty("test.java.opts")));
        return options;
    }

    /**
     * The options every JVM that a test starts gets: the run's own VM and Java
     * options first, then -Xcheck:jni and the libraries.
     */
    public static List<String> jvmOptions() {
        List<String> options = new ArrayList<>(runOptions());
        options.add("-Xcheck:jni");
        if (feature() >= 22) {
            options.add("--enable-native-access=ALL-UNNAMED");
        }
        options.add("-Djava.library.path=" + libDir());
        for (String name : FORWARDED) {
            String value = System.getProperty(name);
            if (value != null) {
                options.add("-D" + name + "=" + value);
            }
        }
        return options;
    }

    private static final Map<String, Path> VARIANTS = new HashMap<>();

    /**
     * The classes of a fixture variant (an altered copy under variants/NAME
     * beside the test), compiled on first use into the working directory
     * (jtreg's scratch directory) by the JDK that compiles the tests.
     */
    public static synchronized Path variant(String name) {
        Path out = VARIANTS.get(name);
        if (out != null) {
            return out;
        }
        out = Paths.get("variants", name).toAbsolutePath();
        Path sources = Paths.get(property("test.src"), "variants", name);
        List<String> command = new ArrayList<>(Arrays.asList(
                Paths.get(System.getProperty("compile.jdk", property("test.jdk")), "bin", "javac").toString(),
                "-d", out.toString(), "-cp", classPath()));
        try (Stream<Path> files = Files.walk(sources)) {
            Files.createDirectories(out);  // JDK 8's javac does not make it
            command.addAll(files.filter(p -> p.toString().endsWith(".java")).map(Path::toString)
                    .collect(Collectors.toList()));
            Process javac = new ProcessBuilder(command).redirectErrorStream(true).start();
            ByteArrayOutputStream output = new ByteArrayOutputStream();
            copy(javac.getInputStream(), output);
            if (javac.waitFor() != 0) {
                throw new AssertionError("compiling variant " + name + " failed: " + command + "\n"
                        + new String(output.toByteArray(), StandardCharsets.UTF_8));
            }
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new AssertionError("interrupted", e);
        }
        VARIANTS.put(name, out);
        return out;
    }

    /** The lines of text, as String.lines() gives them from JDK 11 on. */
    public static Stream<String> lines(String text) {
        return new BufferedReader(new StringReader(text)).lines();
    }

    /** Copies in to out until its end. */
    static void copy(InputStream in, OutputStream out) throws IOException {
        byte[] buffer = new byte[8192];
        for (int n; (n = in.read(buffer)) > 0; ) {
            out.write(buffer, 0, n);
        }
    }
}
