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
import java.util.Collections;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
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
        /** The suite's libraries that the child loaded, by name ("Kestramon"), from its log (see logOptions). */
        public final Set<String> libraries;
        /** The child's collector ("G1", "Z", "ConcMarkSweep", ...), from its log; null if it logged none. */
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
            return JniWarnings.allowed(warning, libraries, TestEnv.feature(), collector);
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
    private boolean noCore;

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

    /**
     * Lets the child attach agents to itself through the attach API, without the JVM's warning about dynamic
     * loading (JDK 21 on); JDK 8 allows it as it is, and has the API in its lib/tools.jar.
     */
    public ChildJvm attachSelf() {
        if (TestEnv.feature() < 9) {
            return classpath(TestEnv.java().getParent().getParent().resolve("lib").resolve("tools.jar"));
        }
        return options("-Djdk.attach.allowAttachSelf=true", "-XX:+EnableDynamicAgentLoading");
    }

    /**
     * For a child expected to die of a fatal error: no core file. The JVM then exits with 1; JDK 8, which has no
     * such option, still aborts (fatalErrorExit), so its core file is limited to 0 bytes instead.
     */
    public ChildJvm noCoreDump() {
        if (TestEnv.feature() < 9) {
            noCore = true;
            return this;
        }
        return options("-XX:-CreateCoredumpOnCrash");
    }

    /** The exit status of a child that noCoreDump() let end through a fatal error: SIGABRT's on JDK 8. */
    public static int fatalErrorExit() {
        return TestEnv.feature() < 9 ? 128 + 6 : 1;
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
     * The command line, with the time the child has and, if logs is given, the
     * options that log into that directory (logOptions).
     */
    private List<String> command(long deadline, Path logs) {
        List<String> command = new ArrayList<>();
        // Under -Xcheck:jni JDK 8 and 11 report a SIGINT they find ignored (as a background job of a script leaves
        // it) on stdout, soon after startup and amid the output under test: the child starts with the default.
        if (TestEnv.feature() < 17 && !TestEnv.windows()) {
            command.addAll(Arrays.asList("env", "--default-signal=INT"));
        }
        if (noCore && !TestEnv.windows()) { // no prlimit, and no core files to keep out
            command.addAll(Arrays.asList("prlimit", "--core=0", "--"));
        }
        command.add(TestEnv.java().toString());
        command.addAll(TestEnv.jvmOptions());
        if (!checkJni) {
            command.removeIf("-Xcheck:jni"::equals);
        }
        command.add("-D" + TestEnv.DEADLINE_PROPERTY + "=" + deadline);
        if (logs != null) {
            command.addAll(logOptions(logs));
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
        Path logs = null;
        Process process = null;
        try {
            logs = Files.createTempDirectory("zoltest-jvm");
            List<String> command = command(deadline, logs);
            ProcessBuilder builder = new ProcessBuilder(command)
                    .redirectInput(ProcessBuilder.Redirect.from(new File("/dev/null")));
            if (TestEnv.feature() < 9) {
                // JDK 8 has no log of library loads: the dynamic loader's own, one file per process.
                builder.environment().put("LD_DEBUG", "files");
                builder.environment().put("LD_DEBUG_OUTPUT", logs.resolve(LD_DEBUG_FILE).toString());
            }
            process = builder.start();
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            ByteArrayOutputStream err = new ByteArrayOutputStream();
            Thread outReader = pump(process.getInputStream(), out);
            Thread errReader = pump(process.getErrorStream(), err);
            if (!process.waitFor(deadline - System.currentTimeMillis(), TimeUnit.MILLISECONDS)) {
                long pid = pid(logs);
                boolean dumped = pid > 0 && threadDump(pid, process, out);
                kill(process, pid);
                outReader.join();
                errReader.join();
                String what = "child JVM did not end within " + (deadline - start) / 1000 + " s ("
                        + (timeoutSeconds > 0 ? "its own limit" : "the time the test has, less "
                                + TestEnv.MARGIN_SECONDS + " s; raise the @run timeout if it needs more")
                        + "), killed " + (dumped ? "after a thread dump" : "without a thread dump");
                // The dump goes to the test's output; jtreg repeats an exception's whole message in its summary.
                System.out.println(what + ": " + command + "\n"
                        + new Result(-1, text(out), text(err), Collections.<String>emptySet(), null));
                System.out.flush();
                throw new AssertionError(what + " (its command and output above)");
            }
            outReader.join();
            errReader.join();
            long pid = pid(logs);
            String jvmLog = read(logs.resolve(JVM_LOG.replace("%p", logPid(pid))));
            String libraryLog = TestEnv.feature() < 9 ? read(logs.resolve(LD_DEBUG_FILE + "." + pid)) : jvmLog;
            String collector = collector(jvmLog);
            Set<String> libraries = loadedLibraries(libraryLog);
            String stdout = JniWarnings.withoutStartupWarnings(withoutSignalCheck(text(out)), args.size(),
                    TestEnv.feature(), collector);
            stdout = JniWarnings.withoutAllowedStacks(stdout, libraries, TestEnv.feature(), collector);
            Result result = new Result(process.exitValue(), stdout, withoutDeprecationNotes(text(err)), libraries,
                    collector);
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
                kill(process, logs == null ? 0 : pid(logs));
            }
            if (logs != null) {
                try (Stream<Path> files = Files.list(logs)) {
                    for (Path f : (Iterable<Path>) files::iterator) {
                        Files.deleteIfExists(f);
                    }
                    Files.deleteIfExists(logs);
                } catch (IOException e) {
                    // Leftover logs in the temporary directory harm nothing.
                }
            }
        }
    }

    /**
     * The child JVM's log, whose name carries its process id (the JVM puts it
     * in place of %p when it opens the log, as it starts): its collector, and
     * from JDK 9 on its library loads. JDK 8 names the log "gc-pid<N>.log".
     */
    private static final String JVM_LOG = "jvm-%p.log";
    private static final Pattern JVM_LOG_NAME = Pattern.compile("jvm-(?:pid)?(\\d+)\\.log");
    private static final String LD_DEBUG_FILE = "ld";

    private static List<String> logOptions(Path logs) {
        String log = logs.resolve(JVM_LOG).toString();
        return TestEnv.feature() < 9 ? Collections.singletonList("-Xloggc:" + log)
                : Collections.singletonList("-Xlog:os=info,gc=info:file=" + log);
    }

    private static String logPid(long pid) {
        return TestEnv.feature() < 9 ? "pid" + pid : String.valueOf(pid);
    }

    /** The child's process id, from its log's name; 0 if it has written none yet. */
    private static long pid(Path logs) {
        String[] names = logs.toFile().list();
        for (String name : names == null ? new String[0] : names) {
            Matcher m = JVM_LOG_NAME.matcher(name);
            if (m.matches()) {
                return Long.parseLong(m.group(1));
            }
        }
        return 0;
    }

    private static String read(Path file) throws IOException {
        return Files.exists(file) ? new String(Files.readAllBytes(file), StandardCharsets.UTF_8) : "";
    }

    /**
     * SIGQUIT makes a JVM print the stacks of all its threads on its stdout
     * and go on; waits until that output has settled. Whether a dump came.
     */
    private static boolean threadDump(long pid, Process process, ByteArrayOutputStream out)
            throws InterruptedException {
        if (TestEnv.windows()) {
            return false; // no SIGQUIT to send
        }
        try {
            new ProcessBuilder("kill", "-QUIT", String.valueOf(pid)).inheritIO().start().waitFor();
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
    private static void kill(Process process, long pid) {
        List<String> command = new ArrayList<>(Arrays.asList("kill", "-KILL"));
        for (long child : descendants(pid)) {
            command.add(String.valueOf(child));
        }
        if (command.size() > 2) {
            try {
                new ProcessBuilder(command).inheritIO().start().waitFor();
            } catch (IOException e) {
                // Gone already, or not ours: the child itself is still killed.
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        process.destroyForcibly();
        try {
            process.waitFor();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    /** The processes below pid, from /proc (each one's parent is the 4th field of its stat, after the name). */
    private static List<Long> descendants(long pid) {
        List<Long> found = new ArrayList<>();
        if (pid <= 0) {
            return found;
        }
        found.add(pid);
        File[] all = new File("/proc").listFiles((dir, name) -> name.matches("\\d+"));
        for (int i = 0; i < found.size(); i++) {
            for (File p : all == null ? new File[0] : all) {
                try {
                    String stat = new String(Files.readAllBytes(p.toPath().resolve("stat")), StandardCharsets.UTF_8);
                    String[] fields = stat.substring(stat.lastIndexOf(')') + 2).split(" ");
                    if (Long.parseLong(fields[1]) == found.get(i)) {
                        found.add(Long.parseLong(p.getName()));
                    }
                } catch (IOException | RuntimeException e) {
                    // Ended meanwhile.
                }
            }
        }
        found.remove(0);
        return found;
    }

    /**
     * A library loaded, in the JVM's log (-Xlog:os: lib<Name>.so, <Name>.dll with either path separator, or
     * lib<Name>.dylib) or, on JDK 8, the dynamic loader's (once relocated).
     */
    private static final Pattern LIBRARY_LOADED = Pattern.compile(
            "shared library load of (?:.*[/\\\\])?(?:lib([^/\\\\]+)\\.(?:so|dylib)|([^/\\\\]+)\\.dll) was successful"
                    + "|calling init: (?:.*/)?lib([^/\\s]+)\\.so");
    private static final Pattern COLLECTOR = Pattern.compile("\\[gc *\\] Using (The Z |Concurrent Mark Sweep|)(\\w*)");
    /** JDK 8's GC log heads with the flags in effect, the collector's chosen by the JVM among them. */
    private static final Pattern COLLECTOR_FLAG = Pattern.compile(
            "(?m)^CommandLine flags: .*-XX:\\+Use(Serial|Parallel|ParallelOld|G1|ConcMarkSweep|Shenandoah)GC\\b");

    private static Set<String> loadedLibraries(String log) {
        Set<String> names = new TreeSet<>();
        Matcher m = LIBRARY_LOADED.matcher(log);
        while (m.find()) {
            String name = m.group(1) != null ? m.group(1) : m.group(2) != null ? m.group(2) : m.group(3);
            if (TestEnv.LIBRARIES.contains(name)) {
                names.add(name);
            }
        }
        return names;
    }

    private static String collector(String log) {
        Matcher flag = COLLECTOR_FLAG.matcher(log);
        if (flag.find()) {
            return flag.group(1).startsWith("Parallel") ? "Parallel" : flag.group(1);
        }
        if (log.startsWith("CommandLine flags: ") || log.contains("\nCommandLine flags: ")) {
            return "Serial";  // JDK 8 names no collector where it chose none: Zero's
        }
        Matcher m = COLLECTOR.matcher(log);
        return !m.find() ? null : m.group(1).isEmpty() ? m.group(2) : m.group(1).startsWith("The Z") ? "Z"
                : "ConcMarkSweep";
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

    /**
     * The JVM's note on stderr, before main, about an option of the run's own that it deprecates (such as
     * -XX:+UseConcMarkSweepGC on JDK 9 to 13 in a matrix cell), taken out like the signal check: it is the
     * JVM's, not the output under test.
     */
    static String withoutDeprecationNotes(String stderr) {
        Matcher m = DEPRECATED.matcher(stderr);
        while (m.lookingAt() && TestEnv.runOptions().contains("-XX:+" + m.group(1))) {
            stderr = stderr.substring(m.end());
            m = DEPRECATED.matcher(stderr);
        }
        return stderr;
    }

    private static final Pattern DEPRECATED = Pattern.compile(
            "OpenJDK 64-Bit \\w+ VM warning: Option (\\w+) was deprecated in version [\\d.]+ and will likely be"
            + " removed in a future release\\.\n");

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
                TestEnv.copy(in, sink);
            } catch (IOException e) {
                // The child is gone; what was read stays.
            }
        });
        thread.setDaemon(true);
        thread.start();
        return thread;
    }
}
