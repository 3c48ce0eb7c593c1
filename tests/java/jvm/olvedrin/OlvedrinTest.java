/*
 * @test
 * @summary Olvedrin's registries and local reference under a real collector
 * @requires vm.gc != "Epsilon" & vm.opt.DisableExplicitGC != true
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.* OlvedrinTest
 * @run driver zoltest.JUnitChild OlvedrinTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.ref.WeakReference;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicReference;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import zol.share.ReferringObject;
import zol.share.TestBug;
import zoltest.Collect;

/**
 * The registries and the local reference in this JVM, under a real garbage
 * collector (the exact failure output is OlvedrinFreshTest's). The tables are
 * made once per process, so every call passes COUNT and every test deletes
 * what it created.
 */
@Timeout(60)
class OlvedrinTest {
    private static final int COUNT = 8;
    private final ReferringObject ro = new ReferringObject();
    private final List<Integer> globals = new ArrayList<>();

    @AfterEach
    void deleteWhatIsLeft() {
        globals.forEach(ro::deleteJNIGlobalReferenceNative);
    }

    private int global(Object o) {
        int index = ro.createJNIGlobalReferenceNative(o, COUNT);
        globals.add(index);
        return index;
    }

    private void deleteGlobal(int index) {
        ro.deleteJNIGlobalReferenceNative(index);
        globals.remove(Integer.valueOf(index));
    }

    @Test
    void theLowestFreeSlotIsReused() {
        Object o = new Object();
        for (int i = 0; i < 4; i++) {
            assertEquals(i, global(o));
        }
        deleteGlobal(2);
        deleteGlobal(0);
        assertEquals(0, global(o));
        assertEquals(2, global(o));
        assertEquals(4, global(o));
    }

    @Test
    void aGlobalReferenceKeepsItsObjectUntilDeleted() throws Exception {
        WeakReference<Object> watch = parkGlobally();
        Collect.several();
        assertNotNull(watch.get(), "collected while the registry held it");
        deleteGlobal(0);
        assertTrue(Collect.untilCleared(watch), "still reachable after the delete");
    }

    private WeakReference<Object> parkGlobally() {
        Object o = new Object();
        assertEquals(0, global(o));
        return new WeakReference<>(o);
    }

    @Test
    void theLocalReferenceKeepsItsObjectWhileTheNativeWaits() throws Exception {
        holdWhileWaiting(null);
    }

    @Test
    void anExceptionFromUnlockIsRaisedOnlyOnceWaitForHasReturned() throws Exception {
        IllegalStateException thrown = new IllegalStateException("no");
        assertSame(thrown, holdWhileWaiting(thrown));
    }

    /** Runs the local native with unlock throwing unlockThrows; returns what the native threw. */
    private Throwable holdWhileWaiting(RuntimeException unlockThrows) throws Exception {
        ReferringObject first = new ReferringObject();
        ReferringObject second = new ReferringObject();
        first.unlockThrows = unlockThrows;
        AtomicReference<Object> handOver = new AtomicReference<>(new Object());
        WeakReference<Object> watch = new WeakReference<>(handOver.get());
        AtomicReference<Throwable> failure = new AtomicReference<>();
        Thread holder = new Thread(() -> {
            try {
                ro.createJNILocalReferenceNative(handOver.getAndSet(null), first, second);
            } catch (Throwable t) {
                failure.set(t);
            }
        });
        holder.start();
        assertTrue(second.awaitWaiting(10_000), "waitFor was not called");
        assertTrue(first.unlockedAt != 0 && first.unlockedAt < second.waitingSince, "unlock must come first");
        assertEquals(0, second.unlockedAt);
        assertEquals(0, first.waitingSince);
        Collect.several();
        assertNotNull(watch.get(), "collected while the native held its local reference");
        holder.join(100);
        assertTrue(holder.isAlive(), "the native returned before waitFor was released");
        second.release();
        holder.join(10_000);
        assertFalse(holder.isAlive());
        assertTrue(Collect.untilCleared(watch), "still reachable after the native returned");
        return failure.get();
    }

    /** Inherits waitFor: an instance of ReferringObject may receive it. */
    static class Inheriting extends ReferringObject {}

    /** Declares its own waitFor, which a plain ReferringObject does not have. */
    static class Overriding extends ReferringObject {
        @Override
        public synchronized void waitFor() {}
    }

    @Test
    void signalObjectsAreCalledWhereValidAndRefusedOtherwise() throws Exception {
        Object o = new Object();
        // A null first object: neither method is called.
        ReferringObject second = new ReferringObject();
        assertThrows(NullPointerException.class, () -> ro.createJNILocalReferenceNative(o, null, second));
        assertEquals(0, second.waitingSince);
        // unlock is called first in every other case.
        ReferringObject first = new ReferringObject();
        assertThrows(NullPointerException.class, () -> ro.createJNILocalReferenceNative(o, first, null));
        assertTrue(first.unlockedAt != 0);
        Overriding overriding = new Overriding();
        assertThrows(TestBug.class, () -> ro.createJNILocalReferenceNative(o, overriding, second));
        assertTrue(overriding.unlockedAt != 0);
        assertEquals(0, second.waitingSince);
        ReferringObject third = new ReferringObject();
        assertThrows(TestBug.class, () -> ro.createJNILocalReferenceNative(o, third, new Object()));
        assertTrue(third.unlockedAt != 0);
        // waitFor declared by a superclass of the first object's class is valid on an instance of that superclass.
        Inheriting inheriting = new Inheriting();
        second.release();
        ro.createJNILocalReferenceNative(o, inheriting, second);
        assertTrue(inheriting.unlockedAt != 0 && inheriting.unlockedAt < second.waitingSince);
        assertTrue(second.waitedUntil != 0);
        // No unlock in the class: the lookup's error, nothing called.
        assertThrows(NoSuchMethodError.class, () -> ro.createJNILocalReferenceNative(o, o, o));
    }
}
