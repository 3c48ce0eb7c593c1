import zol.stress.strace.vostrelThread;

public class Smoke_vostrel implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.stress.strace.vostrelThread";
    }

    public String scenario() {
        return "recursion to depth 100 on 4 threads";
    }

    public void run() throws Exception {
        vostrelThread[] threads = new vostrelThread[4];
        for (int i = 0; i < threads.length; i++) {
            threads[i] = new vostrelThread();
            threads[i].limit = 100;
            threads[i].start();
        }
        for (vostrelThread t : threads) {
            t.join();
            if (t.deepest != 100 || t.depth != 0) {
                throw new AssertionError("deepest " + t.deepest + ", depth after " + t.depth);
            }
        }
    }
}
