package zoltest.scenarios;

import zol.stress.strace.tamsikThread;
import zol.stress.strace.vostrelThread;

/**
 * One recursion on the main thread, for the failure scenarios that end the
 * process: args are the deliverable and the depth at which recursiveMethod1
 * throws (-1: never).
 */
public final class StraceMain {
    private StraceMain() {}

    public static void main(String[] args) {
        int throwAt = Integer.parseInt(args[1]);
        if (args[0].equals("tamsik")) {
            tamsikThread thread = new tamsikThread();
            thread.throwAtDepth = throwAt;
            thread.recursiveMethod2();
        } else {
            vostrelThread thread = new vostrelThread();
            thread.throwAtDepth = throwAt;
            thread.recursiveMethod2();
        }
        System.out.println("recursiveMethod2 returned");
    }
}
