package zoltest;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * What a run is given: jtreg's test.* system properties (the JDK under test,
 * -nativepath, -vmoptions/-javaoptions, the class path of the test and its
 * libraries, the tree root). The build's load check sets the same ones.
 */
public final class TestEnv {
    private TestEnv() {}

    /** The properties a child JVM gets again, so that it can start children of its own. */
    private static final String[] FORWARDED = {"test.jdk", "compile.jdk", "test.vm.opts", "test.java.opts",
        "test.nativepath", "test.root", "test.class.path", "test.timeout.factor"};

    private static String property(String name) {
        String value = System.getProperty(name);
        if (value == null) {
            throw new IllegalStateException("system property " + name
                    + " is not set: run with jtreg -nativepath:<build>/lib (see README.md)");
        }
        return value;
    }

    /** The directory holding lib<Name>.so (jtreg's -nativepath). */
    public static Path libDir() {
        return Paths.get(property("test.nativepath"));
    }

    public static Path library(String name) {
        return libDir().resolve("lib" + name + ".so");
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

    private static List<String> split(String options) {
        return options == null || options.isBlank() ? List.of() : List.of(options.trim().split("\\s+"));
    }

    /**
     * The options every JVM that a test starts gets: the run's own VM and Java
     * options first, then -Xcheck:jni and the libraries.
     */
    public static List<String> jvmOptions() {
        List<String> options = new ArrayList<>(split(System.getProperty("test.vm.opts")));
        options.addAll(split(System.getProperty("test.java.opts")));
        options.add("-Xcheck:jni");
        if (Runtime.version().feature() >= 22) {
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
     * The classes of a fixture variant (an altered copy under variants/NAME),
     * compiled on first use into the working directory (jtreg's scratch
     * directory) by the JDK that compiles the tests.
     */
    public static synchronized Path variant(String name) {
        Path out = VARIANTS.get(name);
        if (out != null) {
            return out;
        }
        out = Paths.get("variants", name).toAbsolutePath();
        Path sources = Paths.get(property("test.root"), "variants", name);
        List<String> command = new ArrayList<>(List.of(
                Paths.get(System.getProperty("compile.jdk", property("test.jdk")), "bin", "javac").toString(),
                "-d", out.toString(), "-cp", classPath()));
        try (Stream<Path> files = Files.walk(sources)) {
            command.addAll(files.filter(p -> p.toString().endsWith(".java")).map(Path::toString)
                    .collect(Collectors.toList()));
            Process javac = new ProcessBuilder(command).redirectErrorStream(true).start();
            String output = new String(javac.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
            if (javac.waitFor() != 0) {
                throw new AssertionError("compiling variant " + name + " failed: " + command + "\n" + output);
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
}
