package zoltest;

import java.nio.file.Path;

/**
 * jtreg driver for a JUnit 5 class whose tests call natives in their own JVM:
 * runs the class through the JUnit console launcher in a child JVM (the JDK
 * under test, the run's VM options, -Xcheck:jni; see ChildJvm), so that the JNI
 * warnings of that JVM are checked like those of any child. A JUnit class that
 * only starts child JVMs runs with "@run junit" in jtreg's own VM instead.
 *
 * Arguments: the JUnit class, then optionally the child's time limit in seconds.
 */
public final class JUnitChild {
    private static final String LAUNCHER = "org.junit.platform.console.ConsoleLauncher";

    private JUnitChild() {}

    public static void main(String[] args) throws Exception {
        String testClass = args[0];
        // The launcher jar that jtreg put on this driver's class path (@library ${jtreg.home}/lib/...).
        Path junit = Path.of(Class.forName(LAUNCHER).getProtectionDomain().getCodeSource().getLocation().toURI());
        // jtreg's test.query (a method name given on its command line) selects one test.
        String query = System.getProperty("test.query");
        String select = query == null ? "--select-class=" + testClass : "--select-method=" + testClass + "#" + query;
        ChildJvm child = new ChildJvm(LAUNCHER).classpath(junit)
                .args("--disable-banner", "--disable-ansi-colors", "--details=tree", "--fail-if-no-tests", select)
                .timeout(args.length > 1 ? Long.parseLong(args[1]) : 110);
        System.out.println("child JVM: " + String.join(" ", child.command()));
        ChildJvm.Result r = child.run();
        System.out.print(r.stdout);
        System.err.print(r.stderr);
        if (r.exitCode != 0) {
            throw new AssertionError("the JUnit run of " + testClass + " ended with exit " + r.exitCode);
        }
    }
}
