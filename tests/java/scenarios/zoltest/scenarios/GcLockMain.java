package zoltest.scenarios;

import java.lang.reflect.Array;
import java.lang.reflect.Constructor;

/**
 * One pass of a critical array locker on the main thread, for the scenarios
 * that end the process: args are the locker's class name in
 * zol.share.gc.lock.jni and "array" (obj holds {5, 6}; obj is not touched, so
 * a variant may lack it) or "null" (obj is set to null).
 */
public final class GcLockMain {
    private GcLockMain() {}

    public static void main(String[] args) throws Exception {
        Class<?> cls = Class.forName("zol.share.gc.lock.jni." + args[0]);
        Constructor<?> constructor = cls.getConstructors()[0];
        Object array = Array.newInstance(constructor.getParameterTypes()[0].getComponentType(), 2);
        Array.setShort(array, 0, (short) 5);
        Array.setShort(array, 1, (short) 6);
        Object locker = constructor.newInstance(array);
        if (args[1].equals("null")) {
            cls.getField("obj").set(locker, null);
        }
        Object result = cls.getMethod("criticalNative", long.class, long.class).invoke(locker, 0L, 0L);
        System.out.println(args[0] + ".criticalNative returned " + result);
    }
}
