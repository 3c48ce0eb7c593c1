import zol.stress.jni.JNIter004;

/**
 * Time per CheckSum of a 1 MiB ASCII string, against the same 16-byte digest
 * computed in plain Java in this JVM, after warm-up. Prints both medians and
 * the ratio native/Java; exits with 1 if the two digests differ.
 */
public final class DigestBench {
    private DigestBench() {}

    private static final int LENGTH = 1 << 20;
    private static final int WARMUP = 300;
    private static final int ROUNDS = 31;
    private static final int CALLS = 20;

    /** The digest for a string whose characters are all in U+0001..U+007F. */
    static char[] javaDigest(String s) {
        byte[] digest = new byte[16];
        for (int i = 0; i < s.length(); i++) {
            digest[i & 15] += (byte) s.charAt(i);
        }
        char[] units = new char[8];
        for (int m = 0; m < 8; m++) {
            units[m] = (char) ((digest[2 * m] & 0xff) | (digest[2 * m + 1] & 0xff) << 8);
        }
        return units;
    }

    private static long sink;

    private static long nanosPerCall(Runnable call) {
        long start = System.nanoTime();
        for (int i = 0; i < CALLS; i++) {
            call.run();
        }
        return (System.nanoTime() - start) / CALLS;
    }

    private static long median(long[] values) {
        long[] sorted = values.clone();
        java.util.Arrays.sort(sorted);
        return sorted[sorted.length / 2];
    }

    public static void main(String[] args) {
        StringBuilder text = new StringBuilder(LENGTH);
        long seed = 42;
        for (int i = 0; i < LENGTH; i++) {
            seed = seed * 6364136223846793005L + 1442695040888963407L;
            text.append((char) (0x20 + (int) ((seed >>> 33) % 95)));
        }
        String s = text.toString();
        JNIter004 test = new JNIter004();
        if (!java.util.Arrays.equals(test.CheckSum(s), javaDigest(s))) {
            System.out.println("digests differ");
            System.exit(1);
        }
        Runnable nativeCall = () -> sink += test.CheckSum(s)[0];
        Runnable javaCall = () -> sink += javaDigest(s)[0];
        for (int i = 0; i < WARMUP; i++) {
            nativeCall.run();
            javaCall.run();
        }
        long[] nativeNanos = new long[ROUNDS];
        long[] javaNanos = new long[ROUNDS];
        for (int r = 0; r < ROUNDS; r++) {
            nativeNanos[r] = nanosPerCall(nativeCall);
            javaNanos[r] = nanosPerCall(javaCall);
        }
        long n = median(nativeNanos);
        long j = median(javaNanos);
        System.out.printf("JDK %s: CheckSum %.1f us, Java %.1f us per 1 MiB string; native/Java %.2f%n",
                Runtime.version(), n / 1000.0, j / 1000.0, (double) n / j);
    }
}
