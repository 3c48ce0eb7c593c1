import zol.stress.strace.tamsik;
import zol.stress.strace.tamsikThread;
import zol.stress.strace.vostrelThread;

/**
 * The deepest Java/native recursion through one library (args[0]: vostrel or
 * tamsik) on the main thread: recursions to depth 1, 2, 3, ... in turn, each
 * reached depth printed and flushed, until one fails. A failing recursion
 * ends the process (the library exits after its complaint; a bare native
 * passes the StackOverflowError up to here), so the last "reached" line is
 * the answer. Deeper recursions start from the same frame, so the stack they
 * find is the same as a fresh process's.
 */
public class DepthProbe {
    public static void main(String[] args) {
        boolean viaTamsik = args[0].equals("tamsik");
        try {
            for (int depth = 1; ; depth++) {
                if (!(viaTamsik ? tamsikTo(depth) : vostrelTo(depth))) {
                    System.exit(3);
                }
                System.out.println("reached " + depth);
                System.out.flush();
            }
        } catch (StackOverflowError e) {
            System.exit(2);
        }
    }

    /** depth native frames of vostrel, each under a recursiveMethod1 frame but the first. */
    static boolean vostrelTo(int depth) {
        vostrelThread thread = new vostrelThread();
        thread.limit = depth;
        thread.recursiveMethod2();
        return thread.deepest == depth;
    }

    /** depth native frames of tamsik: it stops where currentDepth reaches DEPTH. */
    static boolean tamsikTo(int depth) {
        tamsik.DEPTH = depth;
        tamsikThread thread = new tamsikThread();
        thread.recursiveMethod2();
        return thread.currentDepth == 0 && thread.deepest == depth - 1;
    }
}
