import zol.share.gc.lock.jni.Kestramon;

public class Smoke_Kestramon implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.share.gc.lock.jni.Kestramon";
    }

    public String scenario() {
        return "one pass over a double array, 50 ms pauses";
    }

    public void run() {
        double[] array = new double[] {1e8, 1, 0.5};
        Kestramon locker = new Kestramon(array);
        double checksum = locker.criticalNative(0, 50);
        if (checksum != 100000001.5 || locker.obj != array) {
            throw new AssertionError("checksum " + checksum + ", obj " + locker.obj);
        }
    }
}
