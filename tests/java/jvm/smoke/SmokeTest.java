/*
 * @test
 * @summary The load check: each library in a JVM of its own runs its short scenario
 * @modules jdk.attach
 * @library /testkit /fixtures /scenarios /smoke ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zol.share.* Smoke_brantholm Smoke_quenmarl Smoke_tamsik Smoke_vostrel Smoke_Quorvell Smoke_Nordevik
 *        Smoke_mirabont Smoke_ulmapine Smoke_Olvedrin Smoke_Zandrofel Smoke_Grendalo Smoke_Harvimble
 *        Smoke_Justrelo Smoke_Kestramon Smoke_tellvarn Smoke_Pellandor Smoke_Wistmore Smoke_Rostavel
 *        Smoke_Sandrovik Smoke_Vendroskel Smoke_Yarbellin
 * @run driver SmokeTest
 */

import zoltest.Smoke;

public class SmokeTest {
    public static void main(String[] args) throws Exception {
        int failed = Smoke.check(Smoke.DELIVERABLES);
        if (failed != 0) {
            throw new AssertionError(failed + " of the libraries failed their scenario (table above)");
        }
    }
}
