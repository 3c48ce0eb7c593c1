import java.util.ArrayList;
import java.util.List;
import zol.stress.jni.JNIter005;

/**
 * Scenarios of libquenmarl.so on a freshly loaded library. The native writes
 * only to stderr; each exception Java receives goes to stdout as
 * "<class name> <message>".
 *
 *   sequence N   N calls on the main thread
 *   threads      2000 calls on four threads (two share a receiver), then one more
 */
public final class QuenmarlMain {
    private QuenmarlMain() {}

    /** The exception that except left pending, as one line. */
    static String received(JNIter005 test) {
        try {
            test.except(new IllegalStateException("given to except"));
            return "nothing";
        } catch (Throwable t) {
            return t.getClass().getName() + " " + t.getMessage();
        }
    }

    public static void main(String[] args) throws Exception {
        JNIter005 test = new JNIter005();
        if (args[0].equals("sequence")) {
            int calls = Integer.parseInt(args[1]);
            StringBuilder out = new StringBuilder();
            for (int i = 0; i < calls; i++) {
                out.append(received(test)).append('\n');
            }
            System.out.print(out);
        } else {
            List<Thread> threads = new ArrayList<>();
            int[] odd = new int[4];
            for (int t = 0; t < 4; t++) {
                JNIter005 receiver = t < 2 ? test : new JNIter005();
                int index = t;
                threads.add(new Thread(() -> {
                    for (int call = 0; call < 500; call++) {
                        String[] got = received(receiver).split(" ");
                        // Every exception must come from the table, its message its own class name.
                        if (got.length != 2 || !got[0].replace('.', '/').equals(got[1])) {
                            odd[index]++;
                        }
                    }
                }));
            }
            threads.forEach(Thread::start);
            for (Thread thread : threads) {
                thread.join();
            }
            System.out.println("odd " + java.util.Arrays.toString(odd));
            System.out.println(received(test));
        }
        System.out.println("setpass calls " + JNIter005.setpassCalls());
    }
}
