import compiler.runtime.criticalnatives.lookup.LookUp;
import java.lang.reflect.Field;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.concurrent.Callable;
import zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont;
import zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine;
import zol.share.ReferringObject;
import zol.share.gc.lock.jni.Grendalo;
import zol.share.gc.lock.jni.Harvimble;
import zol.share.gc.lock.jni.Justrelo;
import zol.share.gc.lock.jni.Kestramon;
import zol.share.locks.Nordevik;
import zol.stress.jni.JNIter004;
import zol.stress.jni.JNIter005;

/**
 * Calls one native with null for one reference argument (args[0] names the
 * case) and prints "returned: value" or "threw: exception". A native whose
 * answer is FatalError ends the JVM instead. The lockers take their array
 * through the field obj, so their case is that field holding null.
 */
public final class NullSweepMain {
    private NullSweepMain() {}

    static final Map<String, Callable<Object>> CASES = new LinkedHashMap<>();

    static {
        CASES.put("brantholm.CheckSum(str)", () -> new JNIter004().CheckSum(null));
        CASES.put("brantholm.CheckCompare(str)", () -> new JNIter004().CheckCompare(null, new char[8], 10));
        CASES.put("brantholm.CheckCompare(sum)", () -> new JNIter004().CheckCompare("abc", null, 10));
        CASES.put("quenmarl.except(tobj)", () -> {
            new JNIter005().except(null);
            return "no exception";
        });
        CASES.put("Nordevik.nativeJNIMonitorEnter(lock)", () -> {
            new Nordevik(null).nativeJNIMonitorEnter(null);
            return null;
        });
        CASES.put("mirabont.nativeJNIMonitorEnter(lock)", () -> {
            mirabont.nativeJNIMonitorEnter(null);
            return null;
        });
        CASES.put("ulmapine.nativeMethod(obj)", () -> {
            new ulmapine().nativeMethod(null);
            return null;
        });
        CASES.put("Olvedrin.createJNIGlobalReferenceNative(object)",
                () -> new ReferringObject().createJNIGlobalReferenceNative(null, 4));
        CASES.put("Olvedrin.createJNIWeakReferenceNative(object)",
                () -> new ReferringObject().createJNIWeakReferenceNative(null, 4));
        String[] local = {"object", "first", "second"};
        for (int i = 0; i < local.length; i++) {
            int nulled = i;
            CASES.put("Olvedrin.createJNILocalReferenceNative(" + local[i] + ")", () -> {
                ReferringObject ro = new ReferringObject();
                ro.release(); // waitFor returns at once
                Object[] a = {ro, ro, ro};
                a[nulled] = null;
                ro.createJNILocalReferenceNative(a[0], a[1], a[2]);
                return null;
            });
        }
        CASES.put("Zandrofel.makeGlobalRef(object)", () -> Zandrofel.makeGlobalRef(null));
        CASES.put("Zandrofel.makeWeakGlobalRef(object)", () -> Zandrofel.makeWeakGlobalRef(null));
        CASES.put("Grendalo.criticalNative(obj)", () -> new Grendalo(null).criticalNative(0, 0));
        CASES.put("Harvimble.criticalNative(obj)", () -> new Harvimble(null).criticalNative(0, 0));
        CASES.put("Justrelo.criticalNative(obj)", () -> new Justrelo(null).criticalNative(0, 0));
        CASES.put("Kestramon.criticalNative(obj)", () -> new Kestramon(null).criticalNative(0, 0));
        Field x = field("x");
        CASES.put("Pellandor.initWatchers(klass)", () -> Pellandor.initWatchers(null, x, Thread.currentThread()));
        CASES.put("Pellandor.initWatchers(field)", () -> Pellandor.initWatchers(Pellandor.class, null,
                Thread.currentThread()));
        CASES.put("Pellandor.initWatchers(thread)", () -> Pellandor.initWatchers(Pellandor.class, x, null));
        CASES.put("Pellandor.startTest(object)", () -> Pellandor.startTest(null));
        CASES.put("Sandrovik.callDefineClass(name)", () -> Sandrovik.callDefineClass(null));
        CASES.put("Sandrovik.callFindClass(name)", () -> Sandrovik.callFindClass(null));
        CASES.put("Yarbellin.m1(result)", () -> {
            LookUp.m1(LookUp.B, LookUp.L, LookUp.C, LookUp.I, LookUp.F, LookUp.D, null);
            return null;
        });
        String[] m2 = {"ia", "la", "fa", "da", "result"};
        for (int i = 0; i < m2.length; i++) {
            int nulled = i;
            CASES.put("Yarbellin.m2(" + m2[i] + ")", () -> {
                Object[] a = {new int[] {1111}, new long[] {4444}, new float[] {7777.5f}, new double[] {4545.5},
                    new byte[1]};
                a[nulled] = null;
                LookUp.m2(LookUp.I, (int[]) a[0], LookUp.L, (long[]) a[1], LookUp.F, (float[]) a[2], LookUp.D,
                        (double[]) a[3], (byte[]) a[4]);
                return a[4] == null ? null : ((byte[]) a[4])[0];
            });
        }
    }

    private static Field field(String name) {
        try {
            return Pellandor.class.getField(name);
        } catch (NoSuchFieldException e) {
            throw new AssertionError(e);
        }
    }

    public static void main(String[] args) throws Exception {
        Callable<Object> call = CASES.get(args[0]);
        if (call == null) {
            throw new IllegalArgumentException(args[0]);
        }
        try {
            Object result = call.call();
            System.out.println("returned: " + (result instanceof Class ? ((Class<?>) result).getName() : result));
        } catch (Throwable t) {
            System.out.println("threw: " + t);
        }
    }
}
