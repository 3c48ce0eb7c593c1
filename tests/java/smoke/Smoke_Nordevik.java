import zol.share.locks.Nordevik;

public class Smoke_Nordevik implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.share.locks.Nordevik";
    }

    public String scenario() {
        return "lock held across createStackFrame";
    }

    public void run() throws Exception {
        Nordevik n = new Nordevik(new Object());
        n.start();
        n.join();
        if (n.calls != 1 || !n.ownedLockInCallback) {
            throw new AssertionError("createStackFrame calls " + n.calls + ", owned " + n.ownedLockInCallback);
        }
    }
}
