import zol.share.ReferringObject;

public class Smoke_Olvedrin implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.share.ReferringObject";
    }

    public String scenario() {
        return "global, weak and local reference round trips";
    }

    public void run() throws Exception {
        ReferringObject ro = new ReferringObject();
        Object o = new Object();
        int global = ro.createJNIGlobalReferenceNative(o, 4);
        int weak = ro.createJNIWeakReferenceNative(o, 4);
        if (global != 0 || weak != 0) {
            throw new AssertionError("first slots " + global + ", " + weak);
        }
        ro.deleteJNIGlobalReferenceNative(global);
        ro.deleteJNIWeakReferenceNative(weak);
        ReferringObject signal = new ReferringObject();
        Thread holder = new Thread(() -> ro.createJNILocalReferenceNative(o, signal, signal));
        holder.start();
        if (!signal.awaitWaiting(10_000) || signal.unlockedAt == 0) {
            throw new AssertionError("the local reference native did not signal");
        }
        signal.release();
        holder.join(10_000);
        if (holder.isAlive()) {
            throw new AssertionError("the local reference native did not return");
        }
    }
}
