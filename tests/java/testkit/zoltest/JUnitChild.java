package zoltest;

/**
 * jtreg driver for a JUnit 5 class whose tests call natives in their own JVM:
 * runs the class's tests in a child JVM (the JDK under test, the run's VM
 * options, -Xcheck:jni; see ChildJvm) through JUnitMain, so that the JNI
 * warnings of that JVM are checked like those of any child. A JUnit class that
 * only starts child JVMs runs with "@run junit" in jtreg's own VM instead.
 *
 * Argument: the JUnit class. The child has the time of the jtreg action (its
 * @run tag's /timeout, see TestEnv.deadline) less a margin for its thread
 * dump and this report.
 */
public final class JUnitChild {
    private JUnitChild() {}

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
        System.out.println("child JVM: " + String.join(" ", child.command()));
        ChildJvm.Result r = child.run();
        System.out.print(r.stdout);
        System.err.print(r.stderr);
        if (r.exitCode == JUnitMain.REFUSED) {
            throw new AssertionError(r.stderr.trim());
        }
        if (r.exitCode != 0) {
            throw new AssertionError("the JUnit run of " + testClass + " ended with exit " + r.exitCode);
        }
    }
}
