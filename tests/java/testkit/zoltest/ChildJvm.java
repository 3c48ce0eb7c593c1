package zoltest;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * Runs a main class in a fresh JVM of the JDK under test, with the run's VM
 * options, under -Xcheck:jni and with the built libraries on
 * java.library.path (see TestEnv), and returns its exit status and output. A
 * scenario that ends the process, or needs a freshly loaded library, runs this
 * way.
 */
public final class ChildJvm {
    /** What the child did. */
    public static final class Result {
        public final int exitCode;
        public final String stdout;
        public final String stderr;

        Result(int exitCode, String stdout, String stderr) {
            this.exitCode = exitCode;
            this.stdout = stdout;
            this.stderr = stderr;
        }

        /** JNI warnings on either stream that the allowed list does not cover. */
        public List<String> unexpectedWarnings() {
            List<String> found = new ArrayList<>(JniWarnings.unexpected(stdout));
            found.addAll(JniWarnings.unexpected(stderr));
            return found;
        }

        @Override
        public String toString() {
            return "exit " + exitCode + "\n--- stdout ---\n" + stdout + "--- stderr ---\n" + stderr;
        }
    }

    private final String mainClass;
    private final List<String> args = new ArrayList<>();
    private final List<String> options = new ArrayList<>();
    private final List<Path> classpathFirst = new ArrayList<>();
    private final List<Path> classpathLast = new ArrayList<>();
    private long timeoutSeconds = 120;
    private boolean checkWarnings = true;
    private boolean checkJni = true;

    public ChildJvm(String mainClass) {
        this.mainClass = mainClass;
    }

    public ChildJvm(Class<?> mainClass) {
        this(mainClass.getName());
    }

    /** Puts the classes of a fixture variant before the normal ones. */
    public ChildJvm variant(String name) {
        classpathFirst.add(TestEnv.variant(name));
        return this;
    }

    /** Puts further classes after the test's. */
    public ChildJvm classpath(Path entry) {
        classpathLast.add(entry);
        return this;
    }

    public ChildJvm args(String... more) {
        args.addAll(Arrays.asList(more));
        return this;
    }

    /** Further JVM options, such as -agentpath or -Xss. */
    public ChildJvm options(String... more) {
        options.addAll(Arrays.asList(more));
        return this;
    }

    /** The time limit, scaled by jtreg's -timeoutFactor. */
    public ChildJvm timeout(long seconds) {
        timeoutSeconds = seconds;
        return this;
    }

    /**
     * Leaves out -Xcheck:jni, whose checker turns some misuse into a fatal error of its own: only for runs that
     * must show what a native does in a JVM without it.
     */
    public ChildJvm withoutCheckJni() {
        checkJni = false;
        return this;
    }

    /** For runs that look at the warnings themselves. */
    public ChildJvm ignoreWarnings() {
        checkWarnings = false;
        return this;
    }

    public List<String> command() {
        List<String> command = new ArrayList<>();
        // Under -Xcheck:jni JDK 11 reports a SIGINT it finds ignored (as a background job of a script leaves it)
        // on stdout, soon after startup and amid the output under test: the child starts with the default.
        if (Runtime.version().feature() < 17) {
            command.addAll(List.of("env", "--default-signal=INT"));
        }
        command.add(TestEnv.java().toString());
        command.addAll(TestEnv.jvmOptions());
        if (!checkJni) {
            command.removeIf("-Xcheck:jni"::equals);
        }
        command.addAll(options);
        List<String> classpath = new ArrayList<>();
        classpathFirst.forEach(p -> classpath.add(p.toString()));
        classpath.add(TestEnv.classPath());
        classpathLast.forEach(p -> classpath.add(p.toString()));
        command.add("-cp");
        command.add(String.join(File.pathSeparator, classpath));
        command.add(mainClass);
        command.addAll(args);
        return command;
    }

    /** Runs the child; fails on a time-out and, unless ignored, on an unexpected JNI warning. */
    public Result run() {
        try {
            Process process = new ProcessBuilder(command()).redirectInput(ProcessBuilder.Redirect.from(new File("/dev/null"))).start();
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            ByteArrayOutputStream err = new ByteArrayOutputStream();
            Thread outReader = pump(process.getInputStream(), out);
            Thread errReader = pump(process.getErrorStream(), err);
            long limit = (long) Math.ceil(timeoutSeconds * TestEnv.timeoutFactor());
            if (!process.waitFor(limit, TimeUnit.SECONDS)) {
                process.destroyForcibly().waitFor();
                outReader.join();
                errReader.join();
                throw new AssertionError("child JVM did not end within " + limit + " s: " + command()
                        + "\n" + new Result(-1, text(out), text(err)));
            }
            outReader.join();
            errReader.join();
            Result result = new Result(process.exitValue(), withoutSignalCheck(text(out)), text(err));
            if (checkWarnings && !result.unexpectedWarnings().isEmpty()) {
                throw new AssertionError("unexpected JNI warnings " + result.unexpectedWarnings() + "\n" + result);
            }
            return result;
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new AssertionError("interrupted", e);
        }
    }

    /**
     * Under -Xcheck:jni the JVM checks its signal handlers now and then; when a
     * native ends the process with exit(), that check can run during the
     * teardown and report "Warning: SIGSEGV handler modified!" with a list of
     * handlers on stdout. That report is the JVM's, not the library's output
     * under test, so it is taken out (the JVM prints it at random, and only then).
     */
    static String withoutSignalCheck(String stdout) {
        return SIGNAL_CHECK.matcher(stdout).replaceAll("");
    }

    // JDK 25 adds "*** Handler was modified!" and "*** Expected: ..." lines
    // among the handlers and ends with "Consider using jsig library.".
    private static final java.util.regex.Pattern SIGNAL_CHECK = java.util.regex.Pattern.compile(
            "(?m)^Warning: SIG[A-Z0-9]+ handler modified!\n(Signal Handlers:\n)?"
            + "([ \t]*(SIG[A-Z0-9]+: |\\*\\*\\* ).*(\n|\\z))*(Consider using jsig library\\.(\n|\\z))?");

    private static String text(ByteArrayOutputStream bytes) {
        return bytes.toString(StandardCharsets.UTF_8);
    }

    private static Thread pump(InputStream in, ByteArrayOutputStream sink) {
        Thread thread = new Thread(() -> {
            try {
                in.transferTo(sink);
            } catch (IOException e) {
                // The child is gone; what was read stays.
            }
        });
        thread.setDaemon(true);
        thread.start();
        return thread;
    }
}
