import zol.share.gc.lock.jni.Justrelo;

public class Smoke_Justrelo implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.share.gc.lock.jni.Justrelo";
    }

    public String scenario() {
        return "one pass over a short array, 50 ms pauses";
    }

    public void run() {
        short[] array = new short[] {(short) 0x8000, 0x00ff, -2};
        Justrelo locker = new Justrelo(array);
        short checksum = locker.criticalNative(0, 50);
        if (checksum != (short) 0x7f01 || locker.obj != array) {
            throw new AssertionError("checksum " + checksum + ", obj " + locker.obj);
        }
    }
}
