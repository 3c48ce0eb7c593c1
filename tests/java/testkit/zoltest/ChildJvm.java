package zoltest;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

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
        /** The suite's libraries that the child loaded, by name ("Kestramon"), from its -Xlog:os. */
        public final Set<String> libraries;
        /** The child's collector ("G1", "Z", ...), from its -Xlog:gc; null if it logged none. */
        public final String collector;

        Result(int exitCode, String stdout, String stderr, Set<String> libraries, String collector) {
            this.exitCode = exitCode;
            this.stdout = stdout;
            this.stderr = stderr;
            this.libraries = libraries;
            this.collector = collector;
        }

        /** JNI warnings on either stream that the allowed list does not cover for this child. */
        public List<String> unexpectedWarnings() {
            List<String> found = new ArrayList<>();
            for (String line : JniWarnings.all(stdout + "\n" + stderr)) {
                if (!allows(line)) {
                    found.add(line);
                }
            }
            return found;
        }

        /** Whether the allowed list covers this warning line for this child: its libraries, JDK and collector. */
        public boolean allows(String warning) {
            return JniWarnings.allowed(warning, libraries, Runtime.version().feature(), collector);
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
    private long timeoutSeconds;
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

    /**
     * A shorter time limit than the test's own allows (TestEnv.childDeadline), in seconds scaled by jtreg's
     * -timeoutFactor.
     */
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
        return command(TestEnv.childDeadline(), null);
    }

    /**
     * The command line, with the time the child has and, if log is given, its
     * logs of library loads and of the collector in use: the allowed warnings
     * depend on both.
     */
    private List<String> command(long deadline, Path log) {
        List<String> command = new ArrayList<>();
        // Under -Xcheck:jni JDK 11 reports a SIGINT it finds ignored (as a background job of a script leaves it)
        // on stdout, soon after startup and amid the output under test: the child starts with the default.
        if (Runtime.version().feature() < 17 && !TestEnv.windows()) {
            command.addAll(List.of("env", "--default-signal=INT"));
        }
        command.add(TestEnv.java().toString());
        command.addAll(TestEnv.jvmOptions());
        if (!checkJni) {
            command.removeIf("-Xcheck:jni"::equals);
        }
        command.add("-D" + TestEnv.DEADLINE_PROPERTY + "=" + deadline);
        if (log != null) {
            command.add("-Xlog:os=info,gc=info:file=" + log);
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

    /**
     * Runs the child; fails on an unexpected JNI warning (unless ignored) and
     * when it does not end in time: then its threads are dumped into its
     * output, and it and its own children are killed.
     */
    public Result run() {
        long start = System.currentTimeMillis();
        long deadline = TestEnv.childDeadline();
        if (timeoutSeconds > 0) {
            deadline = Math.min(deadline, start + TestEnv.scaledMillis(timeoutSeconds));
        }
        if (deadline - start < 1000) {
            throw new AssertionError("no time left for a child JVM: raise the @run timeout");
        }
        Path log = null;
        Process process = null;
        try {
            log = Files.createTempFile("zoltest-jvm", ".log");
            List<String> command = command(deadline, log);
            process = new ProcessBuilder(command).redirectInput(ProcessBuilder.Redirect.from(new File("/dev/null")))
                    .start();
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            ByteArrayOutputStream err = new ByteArrayOutputStream();
            Thread outReader = pump(process.getInputStream(), out);
            Thread errReader = pump(process.getErrorStream(), err);
            if (!process.waitFor(deadline - System.currentTimeMillis(), TimeUnit.MILLISECONDS)) {
                boolean dumped = threadDump(process, out);
                kill(process);
                outReader.join();
                errReader.join();
                String what = "child JVM did not end within " + (deadline - start) / 1000 + " s ("
                        + (timeoutSeconds > 0 ? "its own limit" : "the time the test has, less "
                                + TestEnv.MARGIN_SECONDS + " s; raise the @run timeout if it needs more")
                        + "), killed " + (dumped ? "after a thread dump" : "without a thread dump");
                // The dump goes to the test's output; jtreg repeats an exception's whole message in its summary.
                System.out.println(what + ": " + command + "\n" + new Result(-1, text(out), text(err), Set.of(), null));
                System.out.flush();
                throw new AssertionError(what + " (its command and output above)");
            }
            outReader.join();
            errReader.join();
            String jvmLog = new String(Files.readAllBytes(log), StandardCharsets.UTF_8);
            Result result = new Result(process.exitValue(), withoutSignalCheck(text(out)), text(err),
                    loadedLibraries(jvmLog), collector(jvmLog));
            if (checkWarnings && !result.unexpectedWarnings().isEmpty()) {
                throw new AssertionError("unexpected JNI warnings " + result.unexpectedWarnings() + "\n" + result);
            }
            return result;
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new AssertionError("interrupted", e);
        } finally {
            if (process != null && process.isAlive()) {
                kill(process);
            }
            if (log != null) {
                try {
                    Files.deleteIfExists(log);
                } catch (IOException e) {
                    // A leftover log in the temporary directory harms nothing.
                }
            }
        }
    }

    /**
     * SIGQUIT makes a JVM print the stacks of all its threads on its stdout
     * and go on; waits until that output has settled. Whether a dump came.
     */
    private static boolean threadDump(Process process, ByteArrayOutputStream out) throws InterruptedException {
        if (TestEnv.windows()) {
            return false; // no SIGQUIT to send
        }
        try {
            new ProcessBuilder("kill", "-QUIT", String.valueOf(process.pid())).inheritIO().start().waitFor();
        } catch (IOException e) {
            return false;
        }
        long end = System.currentTimeMillis() + TestEnv.scaledMillis(5);
        int seen = -1;
        while (System.currentTimeMillis() < end && process.isAlive()) {
            Thread.sleep(500);
            int size = out.size();
            if (size == seen && text(out).contains(THREAD_DUMP)) {
                break;
            }
            seen = size;
        }
        return text(out).contains(THREAD_DUMP);
    }

    /** The heading of a JVM's thread dump. */
    public static final String THREAD_DUMP = "Full thread dump";

    /** Its own children first: once it is gone, they are no longer known as its descendants. */
    private static void kill(Process process) {
        process.descendants().forEach(ProcessHandle::destroyForcibly);
        process.destroyForcibly();
        try {
            process.waitFor();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    /** A library's load in the os log: lib<Name>.so, <Name>.dll (any path separator) or lib<Name>.dylib. */
    private static final Pattern LIBRARY_LOADED = Pattern.compile(
            "shared library load of (?:.*[/\\\\])?(?:lib([^/\\\\]+)\\.(?:so|dylib)|([^/\\\\]+)\\.dll) was successful");
    private static final Pattern COLLECTOR = Pattern.compile("\\[gc *\\] Using (The Z |)(\\w+)");

    private static Set<String> loadedLibraries(String log) {
        Set<String> names = new TreeSet<>();
        Matcher m = LIBRARY_LOADED.matcher(log);
        while (m.find()) {
            String name = m.group(1) != null ? m.group(1) : m.group(2);
            if (TestEnv.LIBRARIES.contains(name)) {
                names.add(name);
            }
        }
        return names;
    }

    private static String collector(String log) {
        Matcher m = COLLECTOR.matcher(log);
        return !m.find() ? null : m.group(1).isEmpty() ? m.group(2) : "Z";
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
    private static final Pattern SIGNAL_CHECK = Pattern.compile(
            "(?m)^Warning: SIG[A-Z0-9]+ handler modified!\n(Signal Handlers:\n)?"
            + "([ \t]*(SIG[A-Z0-9]+: |\\*\\*\\* ).*(\n|\\z))*(Consider using jsig library\\.(\n|\\z))?");

    /** The output with Windows' CR LF line ends as LF, so that tests compare lines alike everywhere. */
    private static String text(ByteArrayOutputStream bytes) {
        String text = new String(bytes.toByteArray(), StandardCharsets.UTF_8);
        return TestEnv.windows() ? text.replace("\r\n", "\n") : text;
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
