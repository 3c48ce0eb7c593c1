/*
 * @test
 * @summary Entering Vendroskel's trap prints one line and exits with 1
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.*
 * @run junit VendroskelTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;

class VendroskelTest {
    @Test
    void enteringTheTrapPrintsOneLineAndExitsWithOne() {
        ChildJvm.Result r = new ChildJvm(Trap.class).run();
        assertEquals(1, r.exitCode, r.toString());
        assertEquals("should not reach here\n", r.stdout, r.toString());
        assertEquals("", r.stderr, r.toString());
    }

    /** Enters the trap; the line after it must never appear. */
    static final class Trap {
        public static void main(String[] args) {
            new TestVendroskel().testVendroskel();
            System.out.println("testVendroskel returned");
        }
    }
}
