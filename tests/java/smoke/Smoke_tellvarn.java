import zoltest.ChildJvm;

public class Smoke_tellvarn implements zoltest.SmokeScenario {
    private static final String INSIDE = "inside getMallocLock02 for 1 s, on the CPU ";

    public String loadedBy() {
        return "class gc.gctests.tellvarn.tellvarn";
    }

    public String scenario() {
        return "1 s inside the native, then the JVM ends";
    }

    /** The native runs for 180 s: its daemon thread is left inside it when this JVM ends. */
    public void run() throws Exception {
        System.out.println(TellvarnMain.probe());
    }

    public String judge(ChildJvm.Result result) {
        String verdict = zoltest.SmokeScenario.super.judge(result);
        if (verdict == null && !result.stdout.startsWith(INSIDE)) {
            verdict = result.stdout.split("\n")[0];
        }
        return verdict;
    }
}
