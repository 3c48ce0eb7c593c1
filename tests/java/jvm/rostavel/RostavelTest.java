/*
 * @test
 * @summary Rostavel's string functions on a string whose constructor never ran
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* RostavelTest
 * @run driver zoltest.JUnitChild RostavelTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;

class RostavelTest {
    @Test
    void eachTestReturnsRepeatedly() {
        Rostavel r = new Rostavel();
        for (int i = 0; i < 1000; i++) {
            r.lengthTest();
            r.charsTest();
            r.utfLengthTest();
            r.utfCharsTest();
        }
    }

    @Test
    void allFourPrintNothing() {
        ChildJvm.Result r = new ChildJvm(Returns.class).run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("returned\n", r.stdout, r.toString());
        assertEquals("", r.stderr, r.toString());
    }

    /** Runs the four natives, then says so: anything else on the streams is the library's. */
    static final class Returns {
        public static void main(String[] args) {
            Rostavel r = new Rostavel();
            r.lengthTest();
            r.charsTest();
            r.utfLengthTest();
            r.utfCharsTest();
            System.out.println("returned");
        }
    }
}
