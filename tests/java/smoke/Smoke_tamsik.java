import zol.stress.strace.tamsik;
import zol.stress.strace.tamsikThread;

public class Smoke_tamsik implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.stress.strace.tamsikThread";
    }

    public String scenario() {
        return "recursion to depth 100 on 4 threads";
    }

    public void run() throws Exception {
        tamsik.DEPTH = 100;
        tamsikThread[] threads = new tamsikThread[4];
        for (int i = 0; i < threads.length; i++) {
            threads[i] = new tamsikThread();
            threads[i].start();
        }
        for (tamsikThread t : threads) {
            t.join();
            if (t.deepest != 99 || t.callbacks != 99 || t.currentDepth != 0) {
                throw new AssertionError("deepest " + t.deepest + ", callbacks " + t.callbacks + ", depth after "
                        + t.currentDepth);
            }
        }
    }
}
