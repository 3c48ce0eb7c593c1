/*
 * @test
 * @summary Zandrofel's saved global and weak global references
 * @requires vm.gc != "Epsilon" & vm.opt.DisableExplicitGC != true
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* ZandrofelTest
 * @run driver zoltest.JUnitChild ZandrofelTest
 */

import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.ref.WeakReference;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.Timeout;
import zoltest.Collect;

/** The saved references of Zandrofel; this class is the library's only user in its JVM. */
@Timeout(60)
@TestMethodOrder(MethodOrderer.OrderAnnotation.class)
class ZandrofelTest {
    @Test
    @Order(1)
    void bothSlotsAreNullBeforeAnyMake() {
        assertNull(Zandrofel.readGlobalRef());
        assertNull(Zandrofel.readWeakGlobalRef());
    }

    @Test
    @Order(2)
    void aGlobalReferenceSurvivesCollection() throws Exception {
        WeakReference<Object> watch = makeGlobal();
        Collect.several();
        assertNotNull(watch.get());
        assertSame(watch.get(), Zandrofel.readGlobalRef());
    }

    private static WeakReference<Object> makeGlobal() {
        Object o = new Object();
        assertSame(o, Zandrofel.makeGlobalRef(o));
        return new WeakReference<>(o);
    }

    @Test
    @Order(3)
    void aWeakReferenceGivesItsObjectUntilCollected() throws Exception {
        Object o = new Object();
        assertSame(o, Zandrofel.makeWeakGlobalRef(o));
        Collect.several();
        assertSame(o, Zandrofel.readWeakGlobalRef());
        WeakReference<Object> watch = new WeakReference<>(o);
        o = null;
        assertTrue(Collect.untilCleared(watch));
        assertNull(Zandrofel.readWeakGlobalRef());
    }

    @Test
    @Order(4)
    void theLatestMakeWinsAndEarlierGlobalsStayReachable() throws Exception {
        WeakReference<Object> first = makeGlobal();
        Object second = new Object();
        assertSame(second, Zandrofel.makeGlobalRef(second));
        Collect.several();
        assertSame(second, Zandrofel.readGlobalRef());
        assertNotNull(first.get(), "the earlier global reference was dropped");
    }

    @Test
    @Order(5)
    void aNullObjectIsSavedAsNull() {
        Zandrofel.makeGlobalRef(new Object());
        assertNull(Zandrofel.makeGlobalRef(null));
        assertNull(Zandrofel.readGlobalRef());
    }
}
