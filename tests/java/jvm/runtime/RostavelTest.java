/*
 * @test
 * @summary Rostavel's string functions on a string whose constructor never ran
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zoltest.scenarios.* zol.share.* RostavelTest
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
        ChildJvm.Result r = new ChildJvm(RostavelMain.class).run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals("returned\n", r.stdout, r.toString());
        assertEquals("", r.stderr, r.toString());
    }
}
