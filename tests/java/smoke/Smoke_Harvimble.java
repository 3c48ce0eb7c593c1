import zol.share.gc.lock.jni.Harvimble;

public class Smoke_Harvimble implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.share.gc.lock.jni.Harvimble";
    }

    public String scenario() {
        return "one pass over a float array, 50 ms pauses";
    }

    public void run() {
        float[] array = new float[] {1e8f, 3, 3, 3};
        Harvimble locker = new Harvimble(array);
        float checksum = locker.criticalNative(0, 50);
        if (checksum != 1e8f || locker.obj != array) {
            throw new AssertionError("checksum " + checksum + ", obj " + locker.obj);
        }
    }
}
