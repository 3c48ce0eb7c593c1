import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.ThreadLocalRandom;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;
import zol.share.ReferringObject;
import zol.share.gc.lock.jni.Grendalo;
import zol.share.gc.lock.jni.Harvimble;
import zol.share.gc.lock.jni.Justrelo;
import zol.share.gc.lock.jni.Kestramon;
import zol.stress.jni.JNIter004;
import zol.stress.jni.JNIter005;
import zol.stress.strace.tamsik;
import zol.stress.strace.tamsikThread;
import zol.stress.strace.vostrelThread;

/**
 * Concurrency soak in one JVM: args[0] seconds, args[1] worker threads. Every
 * worker drives, in turn, the string digests (a shared and its own receiver),
 * the exception thrower, the reference registries, the four critical lockers,
 * the saved references and both recursions, checking each answer; another
 * thread forces a collection now and then. Prints the counts the natives'
 * own output can be checked against, then SOAK-OK; any wrong answer ends the
 * process with status 2.
 */
public class SoakMain {
    /** CheckCompare prints every element: the calls are capped to bound the output. */
    static final long MAX_COMPARES = 6000;
    /** On JDK 17 every locker pass prints one allowed warning: capped likewise. */
    static final long MAX_LOCKER_PASSES = 4000;

    static final String[] TABLE = {
        "java/lang/ArithmeticException", "java/lang/ArrayIndexOutOfBoundsException",
        "java/lang/ArrayStoreException", "java/lang/ClassCastException", "java/lang/ClassNotFoundException",
        "java/lang/CloneNotSupportedException", "java/lang/IllegalAccessException",
        "java/lang/IllegalArgumentException", "java/lang/IllegalMonitorStateException",
        "java/lang/IllegalStateException", "java/lang/IllegalThreadStateException",
        "java/lang/IndexOutOfBoundsException", "java/lang/InstantiationException",
        "java/lang/InterruptedException", "java/lang/NegativeArraySizeException",
        "java/lang/NoSuchFieldException", "java/lang/NoSuchMethodException", "java/lang/NullPointerException",
        "java/lang/NumberFormatException", "java/lang/RuntimeException", "java/lang/SecurityException",
        "java/lang/StringIndexOutOfBoundsException", "java/lang/UnsupportedOperationException"};

    static final AtomicLong compares = new AtomicLong();
    static final AtomicLong sums = new AtomicLong();
    static final AtomicLong throwsReceived = new AtomicLong();
    static final AtomicLong references = new AtomicLong();
    static final AtomicLong lockerPasses = new AtomicLong();
    static final AtomicLong saved = new AtomicLong();
    static final AtomicLong recursions = new AtomicLong();
    static final AtomicBoolean stop = new AtomicBoolean();
    static final JNIter004 sharedDigests = new JNIter004();
    static final JNIter005 thrower = new JNIter005();
    /** The registries take no lock of their own: callers serialise, each with its own slots. */
    static final Object registryLock = new Object();

    static void check(boolean ok, String what) {
        if (!ok) {
            System.out.flush();
            System.err.println("SOAK FAILED: " + what);
            Runtime.getRuntime().halt(2);
        }
    }

    static String ascii(ThreadLocalRandom random, int maxLength) {
        char[] text = new char[random.nextInt(maxLength + 1)];
        for (int i = 0; i < text.length; i++) {
            text[i] = (char) (0x20 + random.nextInt(0x5f));
        }
        return new String(text);
    }

    static void digests(JNIter004 receiver, ThreadLocalRandom random) {
        String text = ascii(random, 16);
        char[] digest = receiver.CheckSum(text);
        check(digest.length == 8, "CheckSum length " + digest.length);
        sums.incrementAndGet();
        if (compares.get() < MAX_COMPARES && compares.incrementAndGet() <= MAX_COMPARES) {
            // Strings of at most 16 characters always match their own digest.
            check(receiver.CheckCompare(text, digest, Integer.MAX_VALUE), "CheckCompare of \"" + text + "\"");
        }
    }

    static void exceptions() {
        try {
            thrower.except(new IllegalStateException("soak"));
            check(false, "except returned without an exception");
        } catch (Throwable t) {
            String name = t.getClass().getName().replace('.', '/');
            check(Arrays.asList(TABLE).contains(name) && name.equals(t.getMessage()), "received " + t);
            throwsReceived.incrementAndGet();
        }
    }

    static void registries(ReferringObject referring, Object object) {
        int global;
        int weak;
        synchronized (registryLock) {
            global = referring.createJNIGlobalReferenceNative(object, 64);
            weak = referring.createJNIWeakReferenceNative(object, 64);
        }
        check(global >= 0 && weak >= 0, "registry slots " + global + ", " + weak);
        synchronized (registryLock) {
            referring.deleteJNIGlobalReferenceNative(global);
            referring.deleteJNIWeakReferenceNative(weak);
        }
        references.incrementAndGet();
    }

    static void lockers(ThreadLocalRandom random) {
        if (lockerPasses.get() >= MAX_LOCKER_PASSES) {
            return;
        }
        int n = 1 + random.nextInt(64);
        int[] ints = new int[n];
        float[] floats = new float[n];
        short[] shorts = new short[n];
        double[] doubles = new double[n];
        int xor = 0;
        short xor16 = 0;
        float fsum = 0;
        double dsum = 0;
        for (int i = 0; i < n; i++) {
            ints[i] = random.nextInt();
            floats[i] = random.nextFloat() * 1000;
            shorts[i] = (short) random.nextInt();
            doubles[i] = random.nextDouble() * 1e6;
            xor ^= ints[i];
            xor16 ^= shorts[i];
            fsum += floats[i];
            dsum += doubles[i];
        }
        Grendalo g = new Grendalo(ints);
        Harvimble h = new Harvimble(floats);
        Justrelo j = new Justrelo(shorts);
        Kestramon k = new Kestramon(doubles);
        // run_ms 0: exactly one pass, no pause.
        check(g.criticalNative(0, 0) == xor, "Grendalo checksum");
        check(h.criticalNative(0, 0) == fsum, "Harvimble checksum");
        check(j.criticalNative(0, 0) == xor16, "Justrelo checksum");
        check(k.criticalNative(0, 0) == dsum, "Kestramon checksum");
        check(g.obj == ints && h.obj == floats && j.obj == shorts && k.obj == doubles, "locker arrays put back");
        lockerPasses.addAndGet(4);
    }

    static void savedReferences(Object object) {
        check(Zandrofel.makeGlobalRef(object) == object, "makeGlobalRef result");
        Object weakResult = Zandrofel.makeWeakGlobalRef(object);
        check(weakResult == object, "makeWeakGlobalRef result");
        // Another worker may have saved since: any saved object will do.
        check(Zandrofel.readGlobalRef() != null, "readGlobalRef null");
        saved.incrementAndGet();
    }

    static void recursion() {
        tamsikThread t = new tamsikThread();
        t.recursiveMethod2();
        check(t.deepest == tamsik.DEPTH - 1 && t.currentDepth == 0, "tamsik depth " + t.deepest);
        vostrelThread v = new vostrelThread();
        v.limit = 40;
        v.recursiveMethod2();
        check(v.deepest == 40 && v.depth == 0, "vostrel depth " + v.deepest);
        recursions.incrementAndGet();
    }

    public static void main(String[] args) throws Exception {
        long seconds = Long.parseLong(args[0]);
        int workers = Integer.parseInt(args[1]);
        tamsik.DEPTH = 30;
        List<Thread> threads = new ArrayList<>();
        for (int w = 0; w < workers; w++) {
            threads.add(new Thread(() -> {
                ThreadLocalRandom random = ThreadLocalRandom.current();
                JNIter004 own = new JNIter004();
                ReferringObject referring = new ReferringObject();
                for (long round = 0; !stop.get(); round++) {
                    Object object = new int[] {(int) round};
                    digests(round % 2 == 0 ? sharedDigests : own, random);
                    exceptions();
                    registries(referring, object);
                    lockers(random);
                    savedReferences(object);
                    recursion();
                }
            }, "soak-" + w));
        }
        Thread collector = new Thread(() -> {
            while (!stop.get()) {
                System.gc();
                try {
                    Thread.sleep(100);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }, "soak-gc");
        threads.forEach(Thread::start);
        collector.start();
        Thread.sleep(seconds * 1000);
        stop.set(true);
        for (Thread t : threads) {
            t.join();
        }
        collector.join();
        System.out.flush();
        // The natives' stdio buffer reaches the stream only at exit, and may end
        // mid-line before that: the counts start on a line of their own.
        System.out.println();
        System.out.println("compares " + Math.min(compares.get(), MAX_COMPARES) + " sums " + sums.get() + " throws "
                + throwsReceived.get() + " references " + references.get() + " lockerPasses " + lockerPasses.get()
                + " saved " + saved.get() + " recursions " + recursions.get());
        System.out.println("SOAK-OK");
    }
}
