package zoltest.refs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
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
import zol.share.TestJNIError;
import zoltest.scenarios.Collect;

/**
 * The registries and the local reference in this JVM. The tables are made
 * once per process, so every call passes COUNT and every test deletes what it
 * created.
 */
@Timeout(60)
class ReferringObjectTest {
    private static final int COUNT = 8;
    private final ReferringObject ro = new ReferringObject();
    private final List<Integer> globals = new ArrayList<>();
    private final List<Integer> weaks = new ArrayList<>();

    @AfterEach
    void deleteWhatIsLeft() {
        globals.forEach(ro::deleteJNIGlobalReferenceNative);
        weaks.forEach(ro::deleteJNIWeakReferenceNative);
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
    void theTwoRegistriesAreIndependent() {
        assertEquals(0, global(new Object()));
        int weak = ro.createJNIWeakReferenceNative(new Object[0], COUNT);
        weaks.add(weak);
        assertEquals(0, weak);
    }

    @Test
    void aFullTableGivesMinusOne() {
        Object o = new Object();
        for (int i = 0; i < COUNT; i++) {
            assertEquals(i, global(o));
        }
        assertEquals(-1, ro.createJNIGlobalReferenceNative(o, COUNT));
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
    void aWeakReferenceWhoseObjectWasCollectedIsATestBugAndIsFreed() throws Exception {
        WeakReference<Object> watch = parkWeakly();
        assertTrue(Collect.untilCleared(watch), "the weak registry kept its object reachable");
        TestBug bug = assertThrows(TestBug.class, () -> ro.deleteJNIWeakReferenceNative(0));
        assertEquals("TEST BUG: Weak reference was collected", bug.getMessage());
        weaks.clear();
        // Freed despite the throw: a second delete finds a free slot.
        bug = assertThrows(TestBug.class, () -> ro.deleteJNIWeakReferenceNative(0));
        assertEquals("Requested weakReferences[] element is NULL, possible wrong index is passed", bug.getMessage());
    }

    private WeakReference<Object> parkWeakly() {
        Object o = new Object();
        int index = ro.createJNIWeakReferenceNative(o, COUNT);
        weaks.add(index);
        assertEquals(0, index);
        return new WeakReference<>(o);
    }

    @Test
    void aDoubleDeleteIsATestBugAndChangesNothing() {
        Object o = new Object();
        assertEquals(0, global(o));
        assertEquals(1, global(o));
        deleteGlobal(0);
        TestBug bug = assertThrows(TestBug.class, () -> ro.deleteJNIGlobalReferenceNative(0));
        assertEquals("Requested globalReferences[] element is NULL, possible wrong index is passed", bug.getMessage());
        assertEquals(0, global(o));
        assertEquals(2, global(o));
    }

    @Test
    void indicesOutsideTheTableAreWrongIndices() {
        global(new Object());
        for (int index : new int[] {-1, COUNT, Integer.MAX_VALUE, Integer.MIN_VALUE}) {
            assertThrows(TestBug.class, () -> ro.deleteJNIGlobalReferenceNative(index), "global " + index);
            assertThrows(TestBug.class, () -> ro.deleteJNIWeakReferenceNative(index), "weak " + index);
        }
    }

    @Test
    void aNullObjectIsAJniErrorAndItsSlotStaysFree() {
        TestJNIError e = assertThrows(TestJNIError.class, () -> ro.createJNIGlobalReferenceNative(null, COUNT));
        assertEquals("NewGlobalRef return NULL", e.getMessage());
        e = assertThrows(TestJNIError.class, () -> ro.createJNIWeakReferenceNative(null, COUNT));
        assertEquals("NewWeakGlobalRef return NULL", e.getMessage());
        assertEquals(0, global(new Object()));
        e = assertThrows(TestJNIError.class, () -> ro.createJNILocalReferenceNative(null, ro, ro));
        assertEquals("NewLocalRef return NULL", e.getMessage());
        assertEquals(0, ro.unlockedAt);
    }

    @Test
    void theLocalReferenceKeepsItsObjectWhileTheNativeWaits() throws Exception {
        ReferringObject first = new ReferringObject();
        ReferringObject second = new ReferringObject();
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
        assertEquals(null, failure.get());
        assertTrue(Collect.untilCleared(watch), "still reachable after the native returned");
    }

    @Test
    void anExceptionFromUnlockEndsTheNativeBeforeWaitFor() {
        ReferringObject first = new ReferringObject();
        first.unlockThrows = new IllegalStateException("no");
        IllegalStateException e = assertThrows(IllegalStateException.class,
                () -> ro.createJNILocalReferenceNative(new Object(), first, first));
        assertEquals("no", e.getMessage());
        assertTrue(first.unlockedAt != 0);
        assertEquals(0, first.waitingSince);
    }

    @Test
    void unfitSignalObjectsAreRefusedWithoutCallingIntoThem() {
        Object o = new Object();
        assertThrows(TestBug.class, () -> ro.createJNILocalReferenceNative(o, null, ro));
        assertThrows(TestBug.class, () -> ro.createJNILocalReferenceNative(o, ro, null));
        assertThrows(TestBug.class, () -> ro.createJNILocalReferenceNative(o, ro, new Object()));
        assertThrows(NoSuchMethodError.class, () -> ro.createJNILocalReferenceNative(o, o, o));
        assertEquals(0, ro.unlockedAt);
    }
}
