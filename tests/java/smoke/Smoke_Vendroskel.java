import zoltest.ChildJvm;

public class Smoke_Vendroskel implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class TestVendroskel";
    }

    public String scenario() {
        return "the trap ends the child with status 1";
    }

    public void run() {
        new TestVendroskel().testVendroskel();
    }

    @Override
    public String judge(ChildJvm.Result result) {
        if (result.exitCode != 1 || !result.stdout.equals("should not reach here\n")) {
            String[] lines = (result.stderr + result.stdout).strip().split("\n");
            return "exit " + result.exitCode + ": " + lines[0];
        }
        return null;
    }
}
