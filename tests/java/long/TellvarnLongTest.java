/*
 * @test
 * @summary The whole 180 seconds of tellvarn
 * @key long
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* TellvarnLongTest
 * @run driver/timeout=400 zoltest.JUnitChild TellvarnLongTest
 */

import static org.junit.jupiter.api.Assertions.assertTrue;

import gc.gctests.tellvarn.tellvarn;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** The whole 180 seconds, in the opt-in long label. */
@Timeout(300)
class TellvarnLongTest {
    @Test
    void getMallocLock02ReturnsAfter180WholeSeconds() {
        long start = System.nanoTime();
        new tellvarn().getMallocLock02();
        long elapsedMs = (System.nanoTime() - start) / 1_000_000;
        // The start second counts whole: between 179 s and a little over 180 s.
        assertTrue(elapsedMs >= 179_000 && elapsedMs <= 181_500, "returned after " + elapsedMs + " ms");
    }
}
