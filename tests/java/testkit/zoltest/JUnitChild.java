package zoltest;

/**
 * jtreg driver for a JUnit 5 class whose tests call natives in their own JVM:
 * runs the class's tests in a child JVM (the JDK under test, the run's VM
 * options, -Xcheck:jni; see ChildJvm) through JUnitMain, so that the JNI
 * warnings of that JVM are checked like those of any child. A JUnit class that
 * only starts child JVMs runs with "@run junit" in jtreg's own VM instead.
 *
 * Arguments: the JUnit class, then optionally the child's time limit in seconds.
 */
public final class JUnitChild {
    private JUnitChild() {}

    public static void main(String[] args) throws Exception {
        String testClass = args[0];
        ChildJvm child = new ChildJvm(JUnitMain.class).args(testClass)
                .timeout(args.length > 1 ? Long.parseLong(args[1]) : 110);
        // jtreg's test.query (a method name given on its command line) selects one test.
        String query = System.getProperty("test.query");
        if (query != null) {
            child.args(query);
        }
        System.out.println("child JVM: " + String.join(" ", child.command()));
        ChildJvm.Result r = child.run();
        System.out.print(r.stdout);
        System.err.print(r.stderr);
        if (r.exitCode != 0) {
            throw new AssertionError("the JUnit run of " + testClass + " ended with exit " + r.exitCode);
        }
    }
}
