import java.io.PrintWriter;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.function.IntUnaryOperator;

/**
 * CPU time per call of brantholm's CheckSum and CheckCompare on a 1 MiB ASCII
 * string and of quenmarl's except, each through the library and through its
 * bare native in this one JVM, the two in turn round after round (which of
 * them goes first alternates). Two class loaders load the suite's classes
 * apart and bind their natives to the libraries of one directory each.
 *
 * <p>Arguments: the suite's classes, NativeLoop's classes, the libraries'
 * directory, the bare natives' directory, the result file, the rounds. Writes
 * one line per benchmark to the result file: its name, the library's figure,
 * the bare native's figure (medians over the rounds) and the median of the
 * rounds' ratios. The natives' answers are checked against plain Java first; the
 * last line compares CheckSum with that plain Java loop.
 */
public final class CallTimes {
    private CallTimes() {}

    private static final int LENGTH = 1 << 20;
    private static final int WARMUP_ROUNDS = 8;
    private static final long BATCH_NANOS = 20_000_000L;

    /** Loads the classes at urls itself and their natives from one directory. */
    static final class Loader extends URLClassLoader {
        private final Path libraries;

        Loader(URL[] urls, Path libraries) {
            super(urls, CallTimes.class.getClassLoader());
            this.libraries = libraries.toAbsolutePath();
        }

        @Override
        protected String findLibrary(String name) {
            return libraries.resolve(System.mapLibraryName(name)).toString();
        }
    }

    private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();
    private static int sink;

    /**
     * CPU time of this thread, which makes the calls: on a machine shared with
     * other work, what the calls themselves cost, whatever share of a core
     * they got.
     */
    private static double nanosPerCall(IntUnaryOperator loop, int calls) {
        long start = THREADS.getCurrentThreadCpuTime();
        sink += loop.applyAsInt(calls);
        return (double) (THREADS.getCurrentThreadCpuTime() - start) / calls;
    }

    private static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        int n = sorted.length;
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }

    /** Medians of a's and b's nanoseconds per call and of the ratios a/b, round by round. */
    private static double[] compare(IntUnaryOperator a, IntUnaryOperator b, int rounds) {
        int calls = 1;
        while (nanosPerCall(a, calls) * calls < BATCH_NANOS) {
            calls *= 2;
        }
        double[] aNanos = new double[rounds];
        double[] bNanos = new double[rounds];
        double[] ratios = new double[rounds];
        for (int r = -WARMUP_ROUNDS; r < rounds; r++) {
            double x;
            double y;
            if ((r & 1) == 0) {
                x = nanosPerCall(a, calls);
                y = nanosPerCall(b, calls);
            } else {
                y = nanosPerCall(b, calls);
                x = nanosPerCall(a, calls);
            }
            if (r >= 0) {
                aNanos[r] = x;
                bNanos[r] = y;
                ratios[r] = x / y;
            }
        }
        return new double[] {median(aNanos), median(bNanos), median(ratios)};
    }

    public static void main(String[] args) throws Exception {
        URL[] urls = {Path.of(args[1]).toUri().toURL(), Path.of(args[0]).toUri().toURL()};
        ClassLoader library = new Loader(urls, Path.of(args[2]));
        ClassLoader bare = new Loader(urls, Path.of(args[3]));
        int rounds = Integer.parseInt(args[5]);

        StringBuilder text = new StringBuilder(LENGTH);
        long seed = 42;
        for (int i = 0; i < LENGTH; i++) {
            seed = seed * 6364136223846793005L + 1442695040888963407L;
            text.append((char) (0x20 + (int) ((seed >>> 33) % 95)));
        }
        String s = text.toString();

        try (PrintWriter out = new PrintWriter(args[4])) {
            for (String what : new String[] {"CheckSum", "CheckCompare"}) {
                double[] t = compare(loop(library, what, s, true), loop(bare, what, s, true), rounds);
                out.printf("brantholm.%s %.1f %.1f %.4f%n", what, t[0] / 1000, t[1] / 1000, t[2]);
            }
            // Calls per second: the ratio is the library's rate over the bare native's.
            double[] t = compare(loop(library, "except", s, true), loop(bare, "except", s, false), rounds);
            out.printf("quenmarl.except %.0f %.0f %.4f%n", 1e9 / t[0], 1e9 / t[1], 1 / t[2]);
            t = compare(loop(library, "CheckSum", s, false), loop(library, "JavaDigest", s, false), rounds);
            out.printf("brantholm.CheckSum-vs-Java %.1f %.1f %.4f%n", t[0] / 1000, t[1] / 1000, t[2]);
        }
    }

    private static IntUnaryOperator loop(ClassLoader loader, String what, String text, boolean check)
            throws Exception {
        return (IntUnaryOperator) loader.loadClass("NativeLoop")
                .getConstructor(String.class, String.class, boolean.class)
                .newInstance(what, text, check);
    }
}
