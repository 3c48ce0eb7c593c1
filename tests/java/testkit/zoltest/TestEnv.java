package zoltest;

import java.nio.file.Path;
import java.nio.file.Paths;

/** Where the build put the libraries and classes; set as system properties by the runners. */
public final class TestEnv {
    private TestEnv() {}

    private static Path dir(String property) {
        String value = System.getProperty(property);
        if (value == null) {
            throw new IllegalStateException("system property " + property + " is not set; run through ctest");
        }
        return Paths.get(value);
    }

    /** The directory holding lib<Name>.so. */
    public static Path libDir() {
        return dir("zol.lib.dir");
    }

    /** Fixture, scenario and testkit classes. */
    public static Path classes() {
        return dir("zol.classes");
    }

    /** One directory per fixture variant, each holding the altered classes. */
    public static Path variant(String name) {
        return dir("zol.variants").resolve(name);
    }

    /** The list of JVM warnings that specified behaviour causes. */
    public static Path allowedWarnings() {
        return dir("zol.warnings");
    }

    public static Path library(String name) {
        return libDir().resolve("lib" + name + ".so");
    }

    /** The JVM options every run of a library gets. */
    public static java.util.List<String> jvmOptions() {
        java.util.List<String> options = new java.util.ArrayList<>();
        options.add("-Xcheck:jni");
        if (Runtime.version().feature() >= 22) {
            options.add("--enable-native-access=ALL-UNNAMED");
        }
        options.add("-Djava.library.path=" + libDir());
        for (String property : new String[] {"zol.lib.dir", "zol.classes", "zol.variants", "zol.warnings"}) {
            String value = System.getProperty(property);
            if (value != null) {
                options.add("-D" + property + "=" + value);
            }
        }
        return options;
    }
}
