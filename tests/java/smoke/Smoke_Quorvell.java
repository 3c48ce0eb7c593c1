import zol.monitoring.share.thread.Quorvell;

public class Smoke_Quorvell implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.monitoring.share.thread.Quorvell$Thread1";
    }

    public String scenario() {
        return "C inside lock4 and lock5 on 4 threads";
    }

    public void run() throws Exception {
        Quorvell test = new Quorvell();
        Quorvell.CustomLock lock4 = new Quorvell.CustomLock("lock4");
        Quorvell.Thread1[] threads = new Quorvell.Thread1[4];
        for (int i = 0; i < threads.length; i++) {
            // All share lock4, so the threads take turns in C.
            threads[i] = test.new Thread1();
            threads[i].lock4 = lock4;
            threads[i].start();
        }
        for (Quorvell.Thread1 t : threads) {
            t.join();
            if (t.calls != 1 || !t.ownedLock4InC || !t.ownedLock5InC) {
                throw new AssertionError("C calls " + t.calls + ", owned " + t.ownedLock4InC + " " + t.ownedLock5InC);
            }
        }
    }
}
