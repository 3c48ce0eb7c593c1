import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import zol.stress.jni.JNIter004;

/**
 * Scenarios of libbrantholm.so that need a freshly loaded library or its exact
 * standard output. Only the natives write to stdout; what Java sees goes to
 * stderr as lines starting with "java: ".
 *
 *   compare          matches and mismatches, limit never reached
 *   limit N          six CheckCompare calls with limit N
 *   progress         1000 counted calls
 *   threads          2000 calls on eight threads, then one reaching limit 2001
 *   halt             one call reaching limit 1 (for a class without halt)
 */
public final class BrantholmMain {
    private BrantholmMain() {}

    private static final int NO_LIMIT = Integer.MAX_VALUE;
    private static final String ABC = "abc";

    private static void report(String line) {
        System.err.println("java: " + line);
    }

    public static void main(String[] args) throws Exception {
        JNIter004 test = new JNIter004();
        switch (args[0]) {
            case "compare": {
                for (String s : new String[] {"", ABC, "abcdefghijklmnopq"}) {
                    char[] sum = test.CheckSum(s);
                    report(s + " " + test.CheckCompare(s, sum, NO_LIMIT));
                }
                report("abd-vs-abc " + test.CheckCompare("abd", test.CheckSum(ABC), NO_LIMIT));
                char[] longer = Arrays.copyOf(test.CheckSum(ABC), 16);
                report("16-zeros " + test.CheckCompare(ABC, longer, NO_LIMIT));
                longer[12] = 5;
                report("16-nonzero " + test.CheckCompare(ABC, longer, NO_LIMIT));
                break;
            }
            case "limit": {
                int limit = Integer.parseInt(args[1]);
                char[] sum = test.CheckSum(ABC);
                for (int call = 1; call <= 6; call++) {
                    // Call 3 compares a mismatch: with limit 3 it still returns true.
                    String s = call == 3 ? "abd" : ABC;
                    boolean result = test.CheckCompare(s, sum, limit);
                    report(call + " " + result + " halts=" + JNIter004.halts());
                }
                break;
            }
            case "progress": {
                char[] sum = test.CheckSum(ABC);
                for (int call = 1; call <= 1000; call++) {
                    test.CheckCompare(ABC, sum, NO_LIMIT);
                }
                report("done");
                break;
            }
            case "threads":
                threads(test);
                break;
            case "halt":
                report("returned " + test.CheckCompare(ABC, test.CheckSum(ABC), 1));
                break;
            default:
                throw new IllegalArgumentException(args[0]);
        }
    }

    /** Four threads share one receiver, four have their own; all use the same limit. */
    private static void threads(JNIter004 shared) throws Exception {
        List<Thread> threads = new ArrayList<>();
        int[] mismatches = new int[8];
        for (int t = 0; t < 8; t++) {
            JNIter004 receiver = t < 4 ? shared : new JNIter004();
            String s = "thread " + t + " of eight, longer than sixteen";
            char[] sum = receiver.CheckSum(s.substring(0, 16));
            int index = t;
            threads.add(new Thread(() -> {
                for (int call = 0; call < 250; call++) {
                    if (!receiver.CheckCompare(s.substring(0, 16), sum, 2001)) {
                        mismatches[index]++;
                    }
                }
            }));
        }
        threads.forEach(Thread::start);
        for (Thread thread : threads) {
            thread.join();
        }
        report("mismatches " + Arrays.toString(mismatches) + " halts=" + JNIter004.halts());
        boolean last = shared.CheckCompare(ABC, shared.CheckSum(ABC), 2001);
        report("call 2001 " + last + " halts=" + JNIter004.halts());
    }
}
