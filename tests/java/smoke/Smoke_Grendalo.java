import zol.share.gc.lock.jni.Grendalo;

public class Smoke_Grendalo implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.share.gc.lock.jni.Grendalo";
    }

    public String scenario() {
        return "one pass over an int array, 50 ms pauses";
    }

    public void run() {
        int[] array = new int[] {5, 9, 6};
        Grendalo locker = new Grendalo(array);
        int checksum = locker.criticalNative(0, 50);
        if (checksum != 10 || locker.obj != array) {
            throw new AssertionError("checksum " + checksum + ", obj " + locker.obj);
        }
    }
}
