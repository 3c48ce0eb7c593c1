import zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont;

public class Smoke_mirabont implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont";
    }

    public String scenario() {
        return "monitor still owned after return";
    }

    public void run() {
        // A lock of its own: the main thread owns it until the process ends.
        Object lock = new Object();
        mirabont.nativeJNIMonitorEnter(lock);
        if (!Thread.holdsLock(lock)) {
            throw new AssertionError("lock not owned after nativeJNIMonitorEnter");
        }
    }
}
