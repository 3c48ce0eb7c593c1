package zoltest.scenarios;

import zol.share.gc.lock.jni.Grendalo;
import zol.share.gc.lock.jni.Harvimble;
import zol.share.gc.lock.jni.Justrelo;
import zol.share.gc.lock.jni.Kestramon;

/**
 * One pass of a critical array locker on the main thread, for the scenarios
 * that end the process: args are the locker's class name and "array" (obj
 * holds {5, 6}; obj is not touched, so a variant may lack it) or "null" (obj
 * is set to null).
 */
public final class GcLockMain {
    private GcLockMain() {}

    public static void main(String[] args) {
        boolean keep = args[1].equals("array");
        Object result;
        switch (args[0]) {
            case "Grendalo": {
                Grendalo locker = new Grendalo(new int[] {5, 6});
                if (!keep) {
                    locker.obj = null;
                }
                result = locker.criticalNative(0, 0);
                break;
            }
            case "Harvimble": {
                Harvimble locker = new Harvimble(new float[] {5, 6});
                if (!keep) {
                    locker.obj = null;
                }
                result = locker.criticalNative(0, 0);
                break;
            }
            case "Justrelo": {
                Justrelo locker = new Justrelo(new short[] {5, 6});
                if (!keep) {
                    locker.obj = null;
                }
                result = locker.criticalNative(0, 0);
                break;
            }
            case "Kestramon": {
                Kestramon locker = new Kestramon(new double[] {5, 6});
                if (!keep) {
                    locker.obj = null;
                }
                result = locker.criticalNative(0, 0);
                break;
            }
            default:
                throw new IllegalArgumentException("no locker " + args[0]);
        }
        System.out.println(args[0] + ".criticalNative returned " + result);
    }
}
