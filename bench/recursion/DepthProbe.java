import zol.stress.strace.vostrelThread;

/**
 * One trial of the recursion benchmark: recurses through vostrel's native to
 * the depth in args[0] on the main thread and exits 0 only if it got there.
 */
public class DepthProbe {
    public static void main(String[] args) {
        int depth = Integer.parseInt(args[0]);
        vostrelThread thread = new vostrelThread();
        thread.limit = depth;
        try {
            thread.recursiveMethod2();
        } catch (StackOverflowError e) {
            System.exit(2);
        }
        System.exit(thread.deepest == depth ? 0 : 3);
    }
}
